#include "WindowTestSupport.h"

#include "plugin/Palette.h"
#include "ui/Header.h"
#include "ui/LookAndFeel.h"
#include "ui/Themes.h"

using namespace window_tests;
using quillon::ui::Header;
using quillon::ui::widgets::PresetNavStrip;

//==============================================================================
TEST (PresetStrip, OnlyAPressInTheNameCellStartsARename)
{
    PresetNavStrip strip;
    strip.setBounds (0, 0, 312, 96);
    strip.setPresetName ("Init", true);
    EXPECT_EQ (strip.getPresetName(), "Init *");

    strip.mouseDown (mouseAt (strip, { 20.0f, 40.0f }));   // over the previous arrow
    strip.mouseDown (mouseAt (strip, { 100.0f, 10.0f }));  // position line
    EXPECT_EQ (strip.getRenameEditor(), nullptr);

    // A right click outside the name cell opens no menu (and so cannot crash headless).
    strip.mouseDown (mouseAt (strip, { 260.0f, 40.0f }, juce::ModifierKeys::rightButtonModifier));
    EXPECT_EQ (strip.getRenameEditor(), nullptr);

    strip.mouseDown (mouseAt (strip, { 100.0f, 40.0f }));
    ASSERT_NE (strip.getRenameEditor(), nullptr);
    // The modified mark is the strip's, not part of the name.
    EXPECT_EQ (strip.getRenameEditor()->getText(), "Init");
    EXPECT_EQ (strip.getRenameEditor()->getBounds(), juce::Rectangle<int> (52, 22, 112, 44));

    juce::StringArray renames;
    strip.onRename = [&renames] (const juce::String& n) { renames.add (n); };
    strip.commitRename();
    EXPECT_EQ (renames, juce::StringArray ({ "Init" }));
}

TEST (PresetStrip, RenameFieldShowsTheNameInTheStripsStyleAndThemeCentred)
{
    quillon::ui::applyBuiltInTheme ("mossEraDay"); // a light theme: light ground, dark text
    {
        PresetNavStrip strip;
        strip.setBounds (0, 0, 312, 96);
        strip.setPresetName ("reese", true);
        strip.mouseDown (mouseAt (strip, { 100.0f, 40.0f }));
        auto* field = strip.getRenameEditor();
        ASSERT_NE (field, nullptr);
        EXPECT_FLOAT_EQ (field->getFont().getHeight(), quillon::ui::getEditorFont (2).getHeight());

        juce::Image image (juce::Image::ARGB, 312, 96, true);
        {
            juce::Graphics g (image);
            strip.paintEntireComponent (g, false);
        }
        writePng (image, "preset-strip-rename-light.png");

        // Inside the field's outline: the text is the theme's dark text, its ink centred on the cell.
        const auto cell = strip.getNameCell().reduced (3);
        const auto ground = quillon::palette::get (quillon::palette::bgSurface);
        const auto ink = quillon::palette::get (quillon::palette::textPrimary);
        float darkest = 1.0f;
        int top = -1, bottom = -1;
        for (int y = cell.getY(); y < cell.getBottom(); ++y)
            for (int x = cell.getX(); x < cell.getRight(); ++x)
            {
                const auto c = image.getPixelAt (x, y);
                darkest = juce::jmin (darkest, c.getPerceivedBrightness());
                const int diff = std::abs (c.getRed() - ground.getRed()) + std::abs (c.getGreen() - ground.getGreen())
                               + std::abs (c.getBlue() - ground.getBlue());
                if (diff > 120)
                {
                    top = top < 0 ? y : top;
                    bottom = y;
                }
            }

        EXPECT_LT (darkest, ink.getPerceivedBrightness() + 0.15f);
        ASSERT_GE (top, 0);
        const float inkCentre = 0.5f * (float) (top + bottom);
        EXPECT_NEAR (inkCentre, (float) strip.getNameCell().getCentreY(), 4.0f);
    }
    quillon::ui::applyBuiltInTheme ("dark");
}

// The field opens on the whole name selected, its first letter in view, whatever focus does next.
TEST (PresetStrip, RenameFieldShowsTheNamesStartSelectedSoTypingReplacesIt)
{
    const auto firstAndLastVisible = [] (juce::TextEditor& field)
    {
        const auto first = field.getCaretRectangleForCharIndex (0);
        const auto last = field.getCaretRectangleForCharIndex (field.getTotalNumChars());
        return std::pair<bool, bool> { first.getX() >= 0, last.getRight() <= field.getWidth() };
    };

    for (const juce::String name : { "Night Growl Bass", "A very long preset name that cannot fit here at all" })
    {
        PresetNavStrip strip;
        strip.setBounds (0, 0, 420, 96);
        strip.setPresetName (name, true);
        strip.mouseDown (mouseAt (strip, { 100.0f, 40.0f }));
        auto* field = strip.getRenameEditor();
        ASSERT_NE (field, nullptr);
        field->focusGained (juce::Component::focusChangedByMouseClick); // as a window gives it

        EXPECT_EQ (field->getHighlightedRegion(), juce::Range<int> (0, name.length())) << name;
        EXPECT_EQ (field->getCaretPosition(), 0) << name;
        const auto [firstShown, lastShown] = firstAndLastVisible (*field);
        EXPECT_TRUE (firstShown) << name;
        EXPECT_EQ (lastShown, name.length() < 20) << name; // the short name fits whole

        field->insertTextAtCaret ("Dub");
        EXPECT_EQ (field->getText(), "Dub");
    }
}

TEST (PresetStrip, CommitTrimsAndReportsCancelAndBlankKeepTheName)
{
    PresetNavStrip strip;
    strip.setBounds (0, 0, 312, 96);
    strip.setPresetName ("Old");

    juce::StringArray renames;
    strip.onRename = [&renames] (const juce::String& n) { renames.add (n); };

    strip.mouseDown (mouseAt (strip, { 100.0f, 40.0f }));
    strip.getRenameEditor()->setText ("   ");
    strip.commitRename();
    EXPECT_EQ (strip.getRenameEditor(), nullptr);
    EXPECT_EQ (strip.getPresetName(), "Old");

    strip.mouseDown (mouseAt (strip, { 100.0f, 40.0f }));
    strip.getRenameEditor()->setText ("Typed but cancelled");
    strip.cancelRename();
    EXPECT_EQ (strip.getPresetName(), "Old");

    strip.mouseDown (mouseAt (strip, { 100.0f, 40.0f }));
    strip.getRenameEditor()->setText ("  New name ");
    strip.commitRename();
    EXPECT_EQ (strip.getPresetName(), "New name");
    EXPECT_EQ (renames, juce::StringArray ({ "New name" }));
}

TEST (PresetStrip, ANarrowStripHasNoNameCellToPress)
{
    PresetNavStrip strip;
    strip.setBounds (0, 0, 150, 96);
    strip.mouseDown (mouseAt (strip, { 60.0f, 40.0f }));
    EXPECT_EQ (strip.getRenameEditor(), nullptr);

    juce::Image image (juce::Image::ARGB, 150, 96, true);
    juce::Graphics g (image);
    strip.paintEntireComponent (g, false);
}

TEST (PresetStrip, PositionLine)
{
    PresetNavStrip strip;
    EXPECT_EQ (strip.getPositionText(), "PRESET 01 / 01");
    strip.presetIndex = 3;
    strip.presetCount = 68;
    EXPECT_EQ (strip.getPositionText(), "PRESET 03 / 68");
    strip.presetIndex = 104;
    strip.presetCount = 120;
    EXPECT_EQ (strip.getPositionText(), "PRESET 104 / 120");
}

TEST (PresetStrip, MenuItemsCallTheirCallbacks)
{
    PresetNavStrip strip;
    juce::StringArray calls;
    strip.onSavePreset = [&] { calls.add ("save"); };
    strip.onSavePresetAs = [&] { calls.add ("saveAs"); };
    strip.onLoadPresetFromFile = [&] { calls.add ("load"); };
    strip.onRevealUserPresetFolder = [&] { calls.add ("reveal"); };

    const auto menu = PresetNavStrip::buildUserPresetMenu();
    juce::StringArray texts;
    for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
        if (! it.getItem().isSeparator)
            texts.add (it.getItem().text);

    juce::StringArray expected;
    expected.add ("Save preset");
    expected.add (juce::String::fromUTF8 ("Save preset as\xe2\x80\xa6"));
    expected.add (juce::String::fromUTF8 ("Load preset from file\xe2\x80\xa6"));
    expected.add ("Reveal user preset folder");
    EXPECT_EQ (texts, expected);

    for (int result : { 1, 2, 3, 4, 0 })
        strip.handleMenuResult (result);
    EXPECT_EQ (calls, juce::StringArray ({ "save", "saveAs", "load", "reveal" }));
}

TEST (PresetStrip, ArrowsAndBrowseCallTheirCallbacks)
{
    PresetNavStrip strip;
    int previous = 0, next = 0, browse = 0;
    strip.onPrevious = [&] { ++previous; };
    strip.onNext = [&] { ++next; };
    strip.onBrowse = [&] { ++browse; };

    strip.previousButton.triggerClick();
    strip.nextButton.triggerClick();
    strip.nextButton.triggerClick();
    strip.browseButton.triggerClick();
    pumpMessages();

    EXPECT_EQ (previous, 1);
    EXPECT_EQ (next, 2);
    EXPECT_EQ (browse, 1);
}

//==============================================================================
TEST (HeaderTexts, GlideAndLevel)
{
    EXPECT_EQ (quillon::ui::formatGlideTime (0.0), "0 ms");
    EXPECT_EQ (quillon::ui::formatGlideTime (0.0004), "0 ms");
    EXPECT_EQ (quillon::ui::formatGlideTime (0.25), "250 ms");
    EXPECT_EQ (quillon::ui::formatGlideTime (1.25), "1.25 s");

    EXPECT_EQ (quillon::ui::formatLevelDb (-60.0), juce::String::fromUTF8 ("\xe2\x88\x92\xe2\x88\x9e dB"));
    EXPECT_EQ (quillon::ui::formatLevelDb (-59.4), "-59.4 dB");
    EXPECT_EQ (quillon::ui::formatLevelDb (-12.5), "-12.5 dB");
    EXPECT_EQ (quillon::ui::formatLevelDb (0.0), "0.0 dB");
}

class HeaderTest : public ::testing::Test
{
protected:
    HeaderTest() { header.setBounds (0, 0, 1284, 96); }

    QuillonAudioProcessor processor;
    Header header { processor };
};

TEST_F (HeaderTest, TypedTempoIsClampedAndWritten)
{
    auto& display = header.tempoDisplay;

    const auto commit = [&display] (const juce::String& text)
    {
        display.beginEdit();
        display.getInlineEditor()->setText (text, false);
        display.finishEdit (true);
    };

    commit ("300");
    EXPECT_FLOAT_EQ (paramValue (processor, "lfoSyncBpm"), 240.0f);
    commit ("10");
    EXPECT_FLOAT_EQ (paramValue (processor, "lfoSyncBpm"), 40.0f);
    commit ("97.5");
    EXPECT_NEAR (paramValue (processor, "lfoSyncBpm"), 97.5f, 0.01f);
    EXPECT_EQ (display.getDisplayText(), "97.5");
    // Text that holds no number leaves the tempo alone (it used to write the range start).
    commit ("120");
    for (auto text : { ".", "..", "1.2.3", "." })
    {
        commit (text);
        EXPECT_NEAR (paramValue (processor, "lfoSyncBpm"), 120.0f, 0.01f) << text;
    }

    setParam (processor, "lfoSyncBpm", 133.0f);
    commit ("");
    EXPECT_EQ (display.getInlineEditor(), nullptr);
    EXPECT_NEAR (paramValue (processor, "lfoSyncBpm"), 133.0f, 0.01f);

    display.beginEdit();
    display.getInlineEditor()->setText ("200", false);
    display.finishEdit (false);
    EXPECT_NEAR (paramValue (processor, "lfoSyncBpm"), 133.0f, 0.01f);
}

TEST_F (HeaderTest, InlineEditorOnlyTakesDigitsAndAPoint)
{
    header.tempoDisplay.beginEdit();
    auto* ed = header.tempoDisplay.getInlineEditor();
    ed->setText ({}, false);
    ed->insertTextAtCaret ("1a2-3.4e");
    EXPECT_EQ (ed->getText(), "123.4");
    header.tempoDisplay.finishEdit (false);
}

namespace
{
struct FixedPlayHead : juce::AudioPlayHead
{
    juce::Optional<double> bpm;

    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo info;
        if (bpm.hasValue())
            info.setBpm (*bpm);
        return info;
    }
};
} // namespace

TEST_F (HeaderTest, TempoFollowsTheHostThenTheParameter)
{
    setParam (processor, "lfoSyncBpm", 90.0f);
    header.refreshTempo();
    EXPECT_EQ (header.tempoDisplay.getDisplayText(), "90.0");

    // The host's tempo reaches the header through the audio thread, as in a host.
    FixedPlayHead playHead;
    processor.setPlayHead (&playHead);
    processor.setRateAndBufferSizeDetails (48000.0, 64);
    processor.prepareToPlay (48000.0, 64);
    const auto hostBlock = [this]
    {
        juce::AudioBuffer<float> buffer (2, 64);
        juce::MidiBuffer midi;
        processor.processBlock (buffer, midi);
        header.refreshTempo();
    };

    playHead.bpm = 250.0;
    hostBlock();
    EXPECT_EQ (header.tempoDisplay.getDisplayText(), "240");

    playHead.bpm = 99.5;
    hostBlock();
    EXPECT_EQ (header.tempoDisplay.getDisplayText(), "99.5");

    playHead.bpm = {};
    hostBlock();
    EXPECT_EQ (header.tempoDisplay.getDisplayText(), "90.0");

    processor.setPlayHead (nullptr);
    EXPECT_NEAR (paramValue (processor, "lfoSyncBpm"), 90.0f, 0.01f);
}

TEST_F (HeaderTest, OctaveStepsStopAtTheEnds)
{
    EXPECT_EQ (header.getOctaveText(), "OCT 0");

    header.octaveUp.triggerClick();
    header.octaveUp.triggerClick();
    header.octaveUp.triggerClick();
    pumpMessages();
    EXPECT_EQ (dynamic_cast<juce::AudioParameterChoice*> (processor.parameterState.getParameter ("octave"))->getIndex(), 4);
    EXPECT_EQ (header.getOctaveText(), "OCT +2");

    for (int i = 0; i < 6; ++i)
        header.stepOctave (-1);
    EXPECT_EQ (header.getOctaveText(), "OCT -2");
}

TEST_F (HeaderTest, TempoLabelFollowsSync)
{
    EXPECT_EQ (header.getTempoLabel(), "BPM");
    setParam (processor, "lfo1Sync", 1.0f);
    pumpMessages();
    EXPECT_EQ (header.getTempoLabel(), "SYNC BPM");
}

TEST_F (HeaderTest, LayoutAndCallbacks)
{
    // The strip reaches as far as the octave, glide and legato columns allow before the tempo.
    EXPECT_EQ (header.presetStrip.getBounds(), juce::Rectangle<int> (216, 0, 420, 96));
    EXPECT_EQ (header.legatoButton.getRight(), header.tempoDisplay.getX() - 12);
    EXPECT_EQ (header.tempoDisplay.getBounds(), juce::Rectangle<int> (972, 22, 96, 44));
    EXPECT_EQ (header.masterChip.getBounds(), juce::Rectangle<int> (1188, 22, 96, 44));

    int browse = 0, settings = 0, next = 0;
    header.onBrowse = [&] { ++browse; };
    header.onSettings = [&] { ++settings; };
    header.onNextPreset = [&] { ++next; };
    header.presetStrip.browseButton.triggerClick();
    header.presetStrip.nextButton.triggerClick();
    header.settingsButton.triggerClick();
    pumpMessages();
    EXPECT_EQ (browse, 1);
    EXPECT_EQ (next, 1);
    EXPECT_EQ (settings, 1);

    header.setPresetPosition (3, 68);
    EXPECT_EQ (header.presetStrip.presetIndex, 3);
    EXPECT_EQ (header.presetStrip.presetCount, 68);
}

TEST_F (HeaderTest, ListenerCallsAfterTheHeaderIsGoneDoNothing)
{
    auto doomed = std::make_unique<Header> (processor);
    setParam (processor, "octave", 3.0f);
    setParam (processor, "lfo1Sync", 1.0f);
    doomed.reset();
    pumpMessages();
    SUCCEED();
}
