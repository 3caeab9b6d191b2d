#pragma once

namespace quillon
{

// One side's saturation: "soft", "diode" or "fold" at a linear pre-gain of at least 1, with an
// equal-power fade when the curve changes while a note plays.
class DriveStage
{
public:
    enum Mode { soft, diode, fold };

    void prepare (double oversampledRate) noexcept;
    void reset() noexcept { previousInput = 0.0f; }

    // With `fade`, the old curve fades out over 5 ms while the new one fades in.
    void setMode (int newMode, bool fade) noexcept;
    int getMode() const noexcept { return mode; }

    void setGain (float linearGain) noexcept { gain = linearGain > 1.0f ? linearGain : 1.0f; }
    float getGain() const noexcept           { return gain; }

    // The curve alone at the current gain; the fold curve also reads the previous input.
    float shape (int curve, float x) const noexcept;

    float process (float x) noexcept;

private:
    int mode = soft;
    int previousMode = soft;
    float gain = 1.0f;
    float previousInput = 0.0f;
    int fadeLength = 1;
    int fadeCountdown = 0;
};

// What the drive amount, its modulation and the make-up settings come to for one sample.
struct DriveGains
{
    float pre = 1.0f;  // the stages' pre-gain
    float post = 1.0f; // output gain after the curve, make-up included
};

// `driveDb` is the drive amount with velocity and modulation already added; the applied drive
// is limited to 0..24 dB, and so is the amount the automatic make-up compensates for.
DriveGains computeDriveGains (float driveDb, int mode, bool autoMakeup, float outputGain) noexcept;

} // namespace quillon
