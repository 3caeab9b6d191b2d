#include "UiTestSupport.h"

#include "plugin/Palette.h"
#include "ui/LookAndFeel.h"
#include "ui/StatusFooter.h"
#include "ui/Themes.h"

using quillon::ui::widgets::StatusFooter;
namespace pal = quillon::palette;
using widget_tests::coloursClose;

namespace
{
struct StatusFooterTest : ::testing::Test
{
    quillon::test::InertProcessor processor;
    juce::AudioProcessorValueTreeState state { processor, nullptr, "PARAMS", {} };
    quillon::ui::LookAndFeel lookAndFeel;
    StatusFooter footer { state };

    StatusFooterTest()
    {
        footer.setLookAndFeel (&lookAndFeel);
        footer.setBounds (0, 0, 1284, 96);
        footer.setVisible (true);
    }
    ~StatusFooterTest() override
    {
        footer.setLookAndFeel (nullptr);
        pal::resetToDefaults();
    }

    // The brightest pixel's colour in an area: text strokes, not the box fill.
    static juce::Colour inkIn (const juce::Image& image, juce::Rectangle<int> area)
    {
        juce::Colour best;
        float bestDistance = -1.0f;
        const auto fill = pal::get (pal::bgSurface);
        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
            {
                const auto c = image.getPixelAt (x, y);
                const auto d = (float) (std::abs (c.getRed() - fill.getRed()) + std::abs (c.getGreen() - fill.getGreen())
                                        + std::abs (c.getBlue() - fill.getBlue()));
                if (d > bestDistance)
                {
                    bestDistance = d;
                    best = c;
                }
            }
        return best;
    }
};
} // namespace

TEST_F (StatusFooterTest, Texts)
{
    EXPECT_EQ (StatusFooter::sampleRateText (48000.0), "48 kHz");
    EXPECT_EQ (StatusFooter::sampleRateText (96000.0), "96 kHz");
    EXPECT_EQ (StatusFooter::sampleRateText (44100.0), "44.1 kHz");
    EXPECT_EQ (StatusFooter::sampleRateText (88200.0), "88.2 kHz");
    EXPECT_EQ (StatusFooter::cpuText (19.96f), "CPU 20.0%");
    EXPECT_EQ (StatusFooter::cpuText (0.0f), "CPU 0.0%");
}

TEST_F (StatusFooterTest, CpuWarningStartsAtTwentyNotAtTheRoundedText)
{
    const juce::Rectangle<int> cpuBox (972 + 8, 30 + 10, 204 - 16, 24);
    footer.setCpuLoad (19.96f);
    auto image = widget_tests::paintToImage (footer);
    EXPECT_TRUE (coloursClose (inkIn (image, cpuBox), pal::get (pal::textSecondary), 40));

    footer.setCpuLoad (20.0f);
    image = widget_tests::paintToImage (footer);
    EXPECT_TRUE (coloursClose (inkIn (image, cpuBox), pal::get (pal::semanticWarn), 40));
}

TEST_F (StatusFooterTest, VoiceCountColour)
{
    const juce::Rectangle<int> voiceBox (648 + 8, 30 + 10, 60, 24);
    auto image = widget_tests::paintToImage (footer);
    EXPECT_TRUE (coloursClose (inkIn (image, voiceBox), pal::get (pal::accentLive), 40));

    footer.setVoiceCount (0);
    image = widget_tests::paintToImage (footer);
    EXPECT_TRUE (coloursClose (inkIn (image, voiceBox), pal::get (pal::textDisabled), 20));
}

TEST_F (StatusFooterTest, MatrixButtonFlipsItsOwnStateWithOrWithoutCallback)
{
    auto& button = footer.getMatrixButton();
    EXPECT_EQ (button.getBounds(), juce::Rectangle<int> (54, 30, 96, 44));

    button.triggerClick();
    widget_tests::pumpMessages();
    EXPECT_TRUE (footer.isMatrixOpen());
    EXPECT_TRUE (button.getToggleState());

    int calls = 0;
    bool openWhenCalled = true;
    footer.onToggleMatrix = [&] { ++calls; openWhenCalled = footer.isMatrixOpen(); };
    button.triggerClick();
    widget_tests::pumpMessages();
    EXPECT_EQ (calls, 1);
    EXPECT_FALSE (openWhenCalled); // the footer flips first, then reports
    EXPECT_FALSE (button.getToggleState());

    footer.setMatrixOpen (true);
    EXPECT_TRUE (button.getToggleState());
    EXPECT_EQ (calls, 1); // setters do not call back
}

TEST_F (StatusFooterTest, SettersRepaintOnlyOnChange)
{
    int repaints = 0;
    footer.setCachedComponentImage (new ui_tests::RepaintCounter (repaints));
    repaints = 0;

    footer.setCpuLoad (0.0f);
    footer.setSampleRate (48000.0);
    footer.setVoiceCount (1);
    footer.setRoutingSummary ("LFO ready");
    footer.setMatrixOpen (false);
    EXPECT_EQ (repaints, 0);

    const std::function<void()> changes[] = { [&] { footer.setCpuLoad (3.5f); },
                                              [&] { footer.setSampleRate (44100.0); },
                                              [&] { footer.setVoiceCount (0); },
                                              [&] { footer.setRoutingSummary ("LFO ready "); }, // spacing counts
                                              [&] { footer.setMatrixOpen (true); } };
    for (const auto& change : changes)
    {
        repaints = 0;
        change();
        EXPECT_GT (repaints, 0);
    }

    footer.setCachedComponentImage (nullptr);
}

TEST_F (StatusFooterTest, Snapshot)
{
    footer.setRoutingSummary ("LFO > CUTOFF +42%");
    footer.setCpuLoad (7.3f);
    footer.setSampleRate (44100.0);
    footer.setMatrixOpen (true);

    juce::Image sheet (juce::Image::ARGB, 1332, 2 * 120, true);
    {
        juce::Graphics g (sheet);
        int row = 0;
        for (const auto* theme : { "dark", "mossEraDay" })
        {
            quillon::ui::applyBuiltInTheme (theme);
            g.setColour (pal::get (pal::bgGround));
            g.fillRect (0, row * 120, 1332, 120);
            const auto image = widget_tests::paintToImage (footer);
            g.drawImageAt (image, 24, row * 120 + 12);
            ++row;
        }
    }
    const auto file = ui_tests::writeSnapshot (sheet, "status-footer.png");
    EXPECT_GT (file.getSize(), 5000);
    std::cout << "status footer: " << file.getFullPathName() << std::endl;
}
