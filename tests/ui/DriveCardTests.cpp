// Drive card and thumbnail: drag and typed entry of the drive amount, the drawn transfer curves,
// and the card layout.
#include "PanelTestSupport.h"

#include "ui/panels/DriveCard.h"
#include "engine/chain/DriveStage.h"
#include "plugin/Palette.h"

#include <cmath>

using namespace panel_tests;
using namespace quillon::ui::widgets;

namespace
{
class DriveTest : public PanelTest
{
protected:
    DriveThumbnail thumbnail { state };
    void SetUp() override { thumbnail.setSize (172, 34); }
};

// Whether some pixel around `p` is painted in (nearly) `colour`; a thin stroke's edges blend with the ground.
bool inkedNear (const juce::Image& image, juce::Point<float> p, juce::Colour colour)
{
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
        {
            const auto c = image.getPixelAt ((int) p.x + dx, (int) p.y + dy);
            if (std::abs (c.getRed() - colour.getRed()) + std::abs (c.getGreen() - colour.getGreen())
                    + std::abs (c.getBlue() - colour.getBlue()) < 100)
                return true;
        }
    return false;
}
} // namespace

// What the thumbnail draws is the drive stage's own curve, the soft one drawn to its value at full scale.
TEST_F (DriveTest, DrawnCurveIsTheDriveStagesCurve)
{
    const auto ember = quillon::palette::get (quillon::palette::accentEmber);
    const float left = 4.0f, plotW = 172.0f - 8.0f, plotH = 34.0f - 8.0f, centre = 4.0f + plotH / 2.0f;

    for (int mode : { 0, 1, 2 })
        for (float driveDb : { 0.0f, 9.0f, 24.0f })
        {
            setPlain (processor, "driveMode", (float) mode);
            setPlain (processor, "drive", driveDb);
            const auto points = pathPoints (thumbnail.getCurve());
            ASSERT_EQ ((int) points.size(), DriveThumbnail::curvePoints);
            const auto image = paintToImage (thumbnail);
            const auto curve = [&] (size_t i)
            {
                return quillon::DriveStage::transferCurve (mode, driveDb, 2.0f * (float) i / (float) (points.size() - 1) - 1.0f);
            };
            const float scale = mode == 0 ? 1.0f / curve (points.size() - 1) : 1.0f;

            for (size_t i = 0; i < points.size(); ++i)
            {
                const float t = (float) i / (float) (points.size() - 1);
                EXPECT_NEAR (points[i].x, left + plotW * t, 1.0e-3f);
                EXPECT_NEAR (points[i].y, centre - plotH * 0.45f * juce::jlimit (-1.0f, 1.0f, curve (i) * scale), 2.0e-3f)
                    << mode << " " << driveDb << " " << i;

                if (i % 8 == 4)
                {
                    EXPECT_TRUE (inkedNear (image, points[i], ember)) << mode << " " << driveDb << " " << i;
                }
            }

            // No drive is no shaping: the soft curve is the straight line through the centre. At full
            // drive it still spans the plot instead of shrinking to a sliver before the make-up gain.
            if (mode == 0)
            {
                EXPECT_NEAR (points.back().y, centre - plotH * 0.45f, 1.0e-3f);
            }
            if (mode == 0 && driveDb == 0.0f)
            {
                EXPECT_NEAR (points[24].y, centre - plotH * 0.45f * (2.0f * 24.0f / 95.0f - 1.0f), 1.0e-3f);
            }
        }
}

TEST_F (DriveTest, DragOf200PixelsSpansTheRangeInOneGesture)
{
    setPlain (processor, "drive", 0.0f);
    ParameterRecorder recorder (*state.getParameter ("drive"));

    drag (thumbnail, { 80.0f, 20.0f }, { { 80.0f, -180.0f }, { 80.0f, -400.0f } });
    EXPECT_FLOAT_EQ (plain (processor, "drive"), 24.0f);
    EXPECT_EQ (recorder.begins, 1);
    EXPECT_EQ (recorder.ends, 1);
    EXPECT_FALSE (recorder.valueOutsideGesture);
    EXPECT_FALSE (thumbnail.isDragging());
}

TEST_F (DriveTest, TypedValuesAreClampedIntoTheRange)
{
    setPlain (processor, "drive", 6.5f);
    thumbnail.mouseDoubleClick (mouseEvent (thumbnail, { 50.0f, 10.0f }, leftButton(), {}, 2));
    auto* editor = thumbnail.getInlineEditor();
    ASSERT_NE (editor, nullptr);
    EXPECT_EQ (editor->getText(), "6.5");
    EXPECT_EQ (editor->getBounds(), juce::Rectangle<int> (4, 6, 164, 22));

    editor->setText ("99");
    thumbnail.commitInlineEdit();
    EXPECT_EQ (thumbnail.getInlineEditor(), nullptr);
    EXPECT_FLOAT_EQ (plain (processor, "drive"), 24.0f);

    // Text that is not a number changes nothing and closes the field; a unit may follow a number.
    for (auto text : { "loud", "", " ", "-", "1.2.3", "12x", "inf", "nan", "--3", "3 dB dB" })
    {
        thumbnail.mouseDoubleClick (mouseEvent (thumbnail, { 50.0f, 10.0f }, leftButton(), {}, 2));
        thumbnail.getInlineEditor()->setText (text);
        ParameterRecorder recorder (*processor.parameterState.getParameter ("drive"));
        thumbnail.commitInlineEdit();
        EXPECT_EQ (thumbnail.getInlineEditor(), nullptr) << text;
        EXPECT_FLOAT_EQ (plain (processor, "drive"), 24.0f) << text;
        EXPECT_EQ (recorder.begins, 0) << text;
    }

    thumbnail.mouseDoubleClick (mouseEvent (thumbnail, { 50.0f, 10.0f }, leftButton(), {}, 2));
    thumbnail.getInlineEditor()->setText (" 3.5 dB ");
    thumbnail.commitInlineEdit();
    EXPECT_FLOAT_EQ (plain (processor, "drive"), 3.5f);

    thumbnail.mouseDoubleClick (mouseEvent (thumbnail, { 50.0f, 10.0f }, leftButton(), {}, 2));
    thumbnail.getInlineEditor()->setText ("12");
    thumbnail.cancelInlineEdit();
    EXPECT_EQ (thumbnail.getInlineEditor(), nullptr);
    EXPECT_FLOAT_EQ (plain (processor, "drive"), 3.5f);
}

TEST_F (DriveTest, OutOfRangeModeStillDraws)
{
    setPlain (processor, "driveMode", 2.0f);
    setPlain (processor, "drive", 18.0f);
    const auto image = paintToImage (thumbnail);
    EXPECT_FALSE (image.getPixelAt (86, 17).isTransparent());
}

TEST (DriveThumbnailWithoutParameters, MouseDoesNothing)
{
    widget_tests::DummyProcessor dummy;
    DriveThumbnail thumbnail (dummy.state);
    thumbnail.setSize (160, 36);

    drag (thumbnail, { 10.0f, 10.0f }, { { 10.0f, -100.0f } });
    EXPECT_FALSE (thumbnail.isDragging());
    thumbnail.mouseDoubleClick (mouseEvent (thumbnail, { 10.0f, 10.0f }, leftButton(), {}, 2));
    EXPECT_EQ (thumbnail.getInlineEditor(), nullptr);
    paintToImage (thumbnail);
}

TEST_F (PanelTest, DriveCardLayoutAndTexts)
{
    DriveCard card (state, processor);
    card.setSize (204, 420);

    EXPECT_EQ (card.getTitle().getBounds(), juce::Rectangle<int> (20, 8, 164, 22));
    EXPECT_EQ (card.getThumbnail().getBounds(), juce::Rectangle<int> (16, 46, 172, 34));
    EXPECT_EQ (card.getAmountKnob().getBounds(), juce::Rectangle<int> (24, 108, 44, 96));
    EXPECT_EQ (card.getMixKnob().getBounds(), juce::Rectangle<int> (80, 108, 44, 96));
    EXPECT_EQ (card.getFeedbackKnob().getBounds(), juce::Rectangle<int> (136, 108, 44, 96));
    EXPECT_EQ (card.getModeBox().getBounds(), juce::Rectangle<int> (16, 216, 172, 96));
    EXPECT_EQ (card.getModeBox().getLabel(), "MODE");

    setPlain (processor, "drive", 6.5f);
    EXPECT_EQ (card.getAmountKnob().getValueText(), "6.5 dB");
    setPlain (processor, "driveMix", 0.35f);
    EXPECT_EQ (card.getMixKnob().getValueText(), "35 %");
    EXPECT_EQ (card.getFeedbackKnob().getLabelText(), "FDBK");
}
