#include "HostDrive.h"

#include <gtest/gtest.h>

// A short release ends where the amp envelope does; what the output stage still holds then must
// not stop as a step, nor leave a subsonic thump behind.
namespace
{
using quillon::test::HostDrive;
using quillon::test::maxStep;

constexpr double rate = 48000.0;

double periodOf (int note) { return rate / (440.0 * std::pow (2.0, (note - 69) / 12.0)); }

struct Take
{
    std::vector<float> out;
    size_t noteOff = 0, end = 0; // end: where the release has run its time
    bool soundingAtEnd = false, soundingLater = true;
};

// A note held 0.1 s and a fraction of its cycle, released over `ms`; with `again` >= 0 the note
// comes back that many samples after the release's end.
Take play (float ms, int note, double phase, int block = 256, int again = -1)
{
    HostDrive host (block);
    host.set ("ampRelease", ms / 1000.0f);
    Take take;
    take.noteOff = (size_t) std::lround (4800.0 + phase * periodOf (note));
    take.end = take.noteOff + (size_t) std::lround (ms * 0.001 * rate);
    host.render ((int) take.noteOff, note, true, 0);
    host.render ((int) (take.end - take.noteOff) + 16, note, false, 0);
    take.soundingAtEnd = host.processor->engine.isActive();
    host.render (9600 - 16, note, true, again >= 0 ? again - 16 : -1);
    take.soundingLater = host.processor->engine.isActive();
    take.out = std::move (host.out);
    return take;
}

// A 40 Hz two-pole low-pass: what is left of the output below the note's own range.
std::vector<float> subsonic (const std::vector<float>& x)
{
    const auto a = (float) std::exp (-2.0 * 3.14159265358979 * 40.0 / rate);
    float s1 = 0.0f, s2 = 0.0f;
    std::vector<float> y (x.size());

    for (size_t i = 0; i < x.size(); ++i)
    {
        s1 = x[i] + a * (s1 - x[i]);
        s2 = s1 + a * (s2 - s1);
        y[i] = s2;
    }

    return y;
}

float peakFrom (const std::vector<float>& x, size_t from)
{
    float p = 0.0f;
    for (auto i = from; i < x.size(); ++i)
        p = std::max (p, std::abs (x[i]));
    return p;
}

// No step above twice the larger of the held note's and the release's own.
void expectNoClick (const Take& take, int note, const std::string& what)
{
    const auto& x = take.out;
    const auto period = (size_t) periodOf (note);
    const auto steady = maxStep (x, take.noteOff - 2 * period, take.noteOff);
    const auto fade = maxStep (x, take.noteOff, take.end - 2);
    const auto after = maxStep (x, take.end - 2, x.size());
    EXPECT_LE (after, 2.0f * std::max (steady, fade)) << what << ": step " << after << ", steady " << steady
                                                      << ", fade " << fade;
}

TEST (ReleaseTail, EndsWithoutAStepOrAThumpWhereverTheNoteOffFalls)
{
    for (const auto ms : { 1.0f, 3.0f, 10.0f, 30.0f })
        for (const auto note : { 24, 36, 48 })
            for (int k = 0; k < 8; ++k)
            {
                const auto take = play (ms, note, k / 8.0);
                const auto what = std::to_string (ms) + " ms, note " + std::to_string (note) + ", phase " + std::to_string (k) + "/8";
                expectNoClick (take, note, what);

                // Past the low-pass's own memory of the note, 30 ms on: no long subsonic tail.
                const auto thump = peakFrom (subsonic (take.out), take.end + 1440);
                EXPECT_LT (thump, 0.002f) << what;

                // Sounding while the tail runs, silent once it has ended.
                EXPECT_TRUE (take.soundingAtEnd) << what;
                EXPECT_FALSE (take.soundingLater) << what;
            }
}

TEST (ReleaseTail, TheSameBitsWhateverTheBlockSize)
{
    for (const auto ms : { 1.0f, 10.0f })
        for (const auto phase : { 0.0, 0.375 })
        {
            const auto reference = play (ms, 36, phase, 256).out;

            for (const auto block : { 32, 1024, 77 })
                EXPECT_TRUE (play (ms, 36, phase, block).out == reference) << ms << " ms, block " << block;
        }
}

TEST (ReleaseTail, ANoteStartingInTheTailDoesNotClick)
{
    for (const auto again : { 16, 100, 300 })
        for (int k = 0; k < 8; k += 3)
            expectNoClick (play (1.0f, 24, k / 8.0, 256, again), 24, "again after " + std::to_string (again));
}
} // namespace
