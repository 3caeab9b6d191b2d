#include "ui/Header.h"

#include "BinaryData.h"
#include "plugin/Palette.h"
#include "plugin/ParameterIds.h"
#include "plugin/PluginProcessor.h"
#include "ui/LookAndFeel.h"
#include "ui/Themes.h"

#include <cmath>

namespace quillon::ui
{

namespace
{
juce::Colour colourOf (int slot) { return palette::get (slot); }

constexpr double minBpm = 40.0, maxBpm = 240.0;

juce::AudioParameterChoice* octaveParameter (juce::AudioProcessorValueTreeState& state)
{
    return dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (ids::octave));
}

juce::Colour glyphColour (const juce::Button& b, bool highlighted)
{
    if (! b.isEnabled())
        return colourOf (palette::textDisabled);
    return colourOf (highlighted ? palette::textPrimary : palette::textSecondary);
}

const juce::Image& programIcon()
{
    static const juce::Image icon = juce::ImageCache::getFromMemory (BinaryData::icon_1024_png, BinaryData::icon_1024_pngSize);
    return icon;
}
} // namespace

juce::String formatGlideTime (double seconds)
{
    if (seconds < 0.0005)
        return "0 ms";
    if (seconds < 1.0)
        return juce::String (juce::roundToInt (seconds * 1000.0)) + " ms";
    return juce::String (seconds, 2) + " s";
}

juce::String formatLevelDb (double decibels)
{
    if (decibels <= -59.5)
        return juce::String (juce::CharPointer_UTF8 ("\xe2\x88\x92\xe2\x88\x9e dB"));
    return formatSignedNumber (decibels, 1, false, false, false) + " dB";
}

//==============================================================================
Header::StepChip::StepChip (const juce::String& name)
    : juce::Button (name)
{
    setButtonText (name);
    setSize (44, 44);
    setWantsKeyboardFocus (true);
    setMouseCursor (juce::MouseCursor::PointingHandCursor);
    setTitle (name == "+1" ? "Octave up" : "Octave down");
}

void Header::StepChip::paintButton (juce::Graphics& g, bool highlighted, bool down)
{
    paintSurface (g, getLocalBounds().toFloat(), highlighted, down, false, hasKeyboardFocus (false), isEnabled(), 2);
    g.setColour (glyphColour (*this, highlighted));
    g.setFont (getEditorFont (6));
    larkspur::widgets::drawFittedLine (g, getButtonText(), getLocalBounds().toFloat(), juce::Justification::centred);
}

Header::SettingsButton::SettingsButton()
    : juce::Button ("settings")
{
    setSize (44, 44);
    setWantsKeyboardFocus (true);
    setMouseCursor (juce::MouseCursor::PointingHandCursor);
    setTitle ("Settings");
    setTooltip ("Settings");
}

void Header::SettingsButton::paintButton (juce::Graphics& g, bool highlighted, bool down)
{
    const auto bounds = getLocalBounds().toFloat();
    paintSurface (g, bounds, highlighted, down, false, hasKeyboardFocus (false), isEnabled(), 5);

    const auto c = bounds.getCentre();
    g.setColour (glyphColour (*this, highlighted));
    g.drawEllipse (c.x - 5.0f, c.y - 5.0f, 10.0f, 10.0f, 1.4f);
    g.fillEllipse (c.x - 1.5f, c.y - 1.5f, 3.0f, 3.0f);

    for (int i = 0; i < 8; ++i)
    {
        const auto angle = (float) i * juce::MathConstants<float>::twoPi / 8.0f;
        const auto dx = std::cos (angle), dy = std::sin (angle);
        g.drawLine (c.x + dx * 8.0f, c.y + dy * 8.0f, c.x + dx * 10.4f, c.y + dy * 10.4f, 1.3f);
    }
}

//==============================================================================
Header::TransportBpmDisplay::TransportBpmDisplay (juce::AudioProcessorValueTreeState& s)
    : state (s)
{
}

Header::TransportBpmDisplay::~TransportBpmDisplay()
{
    if (inlineEditor != nullptr)
        inlineEditor->removeListener (this);
}

juce::String Header::TransportBpmDisplay::getDisplayText() const
{
    return bpm < 100.0 ? juce::String (bpm, 1) : juce::String (juce::roundToInt (bpm));
}

void Header::TransportBpmDisplay::mouseDoubleClick (const juce::MouseEvent&)
{
    if (editable && inlineEditor == nullptr)
        beginEdit();
}

void Header::TransportBpmDisplay::beginEdit()
{
    inlineEditor = std::make_unique<juce::TextEditor>();
    auto& ed = *inlineEditor;
    ed.setFont (getEditorFont (5));
    ed.setColour (juce::TextEditor::backgroundColourId, juce::Colours::transparentBlack);
    ed.setColour (juce::TextEditor::outlineColourId, juce::Colours::transparentBlack);
    ed.setColour (juce::TextEditor::focusedOutlineColourId, juce::Colours::transparentBlack);
    ed.setColour (juce::CaretComponent::caretColourId, juce::Colours::transparentBlack);
    ed.setColour (juce::TextEditor::textColourId, colourOf (palette::textPrimary));
    ed.setColour (juce::TextEditor::highlightedTextColourId, colourOf (palette::textPrimary));
    ed.setColour (juce::TextEditor::highlightColourId, colourOf (palette::accentPrimary).withAlpha (0.35f));
    ed.setInputRestrictions (0, "0123456789.");
    ed.setText (juce::String (bpm, 1), false);
    ed.selectAll();
    ed.addListener (this);

    addAndMakeVisible (ed);
    resized();
    if (ed.isShowing())
        ed.grabKeyboardFocus();
    repaint();
}

void Header::TransportBpmDisplay::finishEdit (bool apply)
{
    if (inlineEditor == nullptr)
        return;

    const auto text = inlineEditor->getText().trim();
    inlineEditor->removeListener (this);
    inlineEditor.reset();

    const auto typed = larkspur::widgets::parseTypedNumber (text);

    if (apply && typed.has_value())
    {
        const auto value = juce::jlimit (minBpm, maxBpm, *typed);

        if (auto* p = state.getParameter (ids::lfoSyncBpm))
        {
            p->beginChangeGesture();
            p->setValueNotifyingHost (p->convertTo0to1 ((float) value));
            p->endChangeGesture();
        }

        bpm = value;
    }

    repaint();
}

void Header::TransportBpmDisplay::resized()
{
    if (inlineEditor != nullptr)
        inlineEditor->setBounds (8, 4, juce::jmax (0, getWidth() - 16), juce::jmax (0, getHeight() - 8));
}

void Header::TransportBpmDisplay::paint (juce::Graphics& g)
{
    const auto bounds = getLocalBounds().toFloat();
    g.setColour (colourOf (palette::controlFill));
    g.fillRoundedRectangle (bounds, 2.0f);

    const auto outline = juce::Rectangle<float> (bounds.getX() + 0.5f, bounds.getY() + 0.5f,
                                                 juce::jmax (0.0f, bounds.getWidth() - 1.0f),
                                                 juce::jmax (0.0f, bounds.getHeight() - 1.0f));
    const bool focused = hasKeyboardFocus (false);
    g.setColour (colourOf (focused ? palette::borderFocus : palette::controlBorder));
    g.drawRoundedRectangle (outline, 2.0f, focused ? 2.0f : 1.0f);

    if (inlineEditor != nullptr)
        return;

    g.setFont (getEditorFont (5));
    g.setColour (colourOf (palette::textSecondary));
    larkspur::widgets::drawFittedLine (g, getDisplayText(), (juce::Rectangle<int> (8, 0, juce::jmax (0, getWidth() - 16), getHeight())).toFloat(), juce::Justification::centredLeft);
}

//==============================================================================
Header::OctaveListener::OctaveListener (Header& h, juce::AudioProcessorValueTreeState& s)
    : header (&h), state (&s)
{
    state->addParameterListener (ids::octave, this);
}

Header::OctaveListener::~OctaveListener()
{
    state->removeParameterListener (ids::octave, this);
}

void Header::OctaveListener::parameterChanged (const juce::String&, float)
{
    juce::MessageManager::callAsync ([safe = header]
                                     {
                                         if (safe != nullptr)
                                             safe->repaint();
                                     });
}

Header::SyncListener::SyncListener (Header& h, juce::AudioProcessorValueTreeState& s)
    : header (&h), state (&s)
{
    state->addParameterListener (ids::lfo1Sync, this);
    state->addParameterListener (ids::lfoSyncBpm, this);
}

Header::SyncListener::~SyncListener()
{
    state->removeParameterListener (ids::lfo1Sync, this);
    state->removeParameterListener (ids::lfoSyncBpm, this);
}

void Header::SyncListener::parameterChanged (const juce::String& id, float)
{
    const bool labelChanges = id == ids::lfo1Sync;
    juce::MessageManager::callAsync ([safe = header, labelChanges]
                                     {
                                         if (auto* h = safe.getComponent())
                                         {
                                             h->refreshTempo();
                                             // The column label above the tempo says whether it is synced.
                                             if (labelChanges)
                                                 h->repaint (972, 0, 96, 22);
                                         }
                                     });
}

//==============================================================================
Header::Header (QuillonAudioProcessor& p)
    : processor (p), state (p.parameterState)
{
    addAndMakeVisible (presetStrip);
    presetStrip.onPrevious = [this] { if (onPreviousPreset) onPreviousPreset(); };
    presetStrip.onNext = [this] { if (onNextPreset) onNextPreset(); };
    presetStrip.onBrowse = [this] { if (onBrowse) onBrowse(); };

    octaveDown.onClick = [this] { stepOctave (-1); };
    octaveUp.onClick = [this] { stepOctave (1); };
    addAndMakeVisible (octaveDown);
    addAndMakeVisible (octaveUp);

    glideChip.attachToParameter (state, ids::glideTime);
    glideChip.setTitleText ("Glide amount");
    glideChip.setValueFormatter ([] (double v) { return formatGlideTime (v); });
    addAndMakeVisible (glideChip);

    // The header's ground is the theme's: its chips take the theme's control colours, as the tempo does.
    for (auto* control : { static_cast<juce::Component*> (&glideChip), static_cast<juce::Component*> (&masterChip),
                           static_cast<juce::Component*> (&legatoButton) })
    {
        setPaletteColour (*control, larkspur::widgets::SurfaceColourId::fill, palette::controlFill);
        setPaletteColour (*control, larkspur::widgets::SurfaceColourId::activeFill, palette::controlFillActive);
        setPaletteColour (*control, larkspur::widgets::SurfaceColourId::outline, palette::controlBorder);
        setPaletteColour (*control, larkspur::widgets::SurfaceColourId::text, palette::controlText);
        setPaletteColour (*control, larkspur::widgets::SurfaceColourId::dimText, palette::textTertiary);
    }

    legatoButton.setTooltip ("Legato envelope retriggering");
    addAndMakeVisible (legatoButton);
    if (state.getParameter (ids::legato) != nullptr)
        legatoAttachment = std::make_unique<juce::AudioProcessorValueTreeState::ButtonAttachment> (state, ids::legato, legatoButton);

    tempoDisplay.bpm = 120.0;
    tempoDisplay.setInterceptsMouseClicks (true, false);
    addAndMakeVisible (tempoDisplay);
    tempoDisplay.editable = true;
    tempoDisplay.repaint();

    masterChip.attachToParameter (state, ids::outputGain);
    masterChip.setTitleText ("Master volume");
    masterChip.setValueFormatter ([] (double v) { return formatLevelDb (v); });
    addAndMakeVisible (masterChip);

    settingsButton.onClick = [this] { if (onSettings) onSettings(); };
    addAndMakeVisible (settingsButton);

    octaveListener = std::make_unique<OctaveListener> (*this, state);
    syncListener = std::make_unique<SyncListener> (*this, state);

    repaint();
    refreshTempo();
}

Header::~Header()
{
    syncListener.reset();
    octaveListener.reset();
    legatoAttachment.reset();
}

void Header::setPresetPosition (int index, int count)
{
    presetStrip.presetIndex = index;
    presetStrip.presetCount = count;
    presetStrip.repaint();
}

void Header::setPresetName (const juce::String& name, bool modified)
{
    presetStrip.setPresetName (name, modified);
}

void Header::refreshTempo()
{
    std::optional<double> tempo;

    if (const auto hostBpm = processor.hostTempoBpm.load (std::memory_order_relaxed); hostBpm > 0.0f)
        tempo = (double) hostBpm;

    if (! tempo.has_value())
    {
        if (auto* raw = state.getRawParameterValue (ids::lfoSyncBpm))
            tempo = (double) raw->load();
        else
            tempo = 120.0;
    }

    const auto value = juce::jlimit (minBpm, maxBpm, *tempo);

    if (value != tempoDisplay.bpm)
    {
        tempoDisplay.bpm = value;
        tempoDisplay.repaint();
    }
}

void Header::stepOctave (int delta)
{
    auto* octave = octaveParameter (state);

    if (octave == nullptr)
        return;

    const int current = octave->getIndex();
    const int next = juce::jlimit (0, octave->choices.size() - 1, current + delta);

    if (next == current)
        return;

    octave->beginChangeGesture();
    octave->setValueNotifyingHost (octave->convertTo0to1 ((float) next));
    octave->endChangeGesture();
}

juce::String Header::getOctaveText() const
{
    auto* octave = octaveParameter (state);
    const int index = octave != nullptr ? octave->getIndex() : 2;

    if (index == 2)
        return "OCT 0";
    return index < 2 ? "OCT -" + juce::String (2 - index) : "OCT +" + juce::String (index - 2);
}

juce::String Header::getTempoLabel() const
{
    auto* sync = dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (ids::lfo1Sync));
    return sync != nullptr && sync->getIndex() != 0 ? "SYNC BPM" : "BPM";
}

void Header::resized()
{
    const int x = 0, y = 0;
    // The strip takes the room up to the tempo that the octave, glide and legato columns leave, so
    // long preset names are drawn at full size.
    presetStrip.setBounds (x + 216, y, 420, 96);
    octaveDown.setBounds (x + 648, y + 22, 44, 44);
    octaveUp.setBounds (x + 700, y + 22, 44, 44);
    glideChip.setBounds (x + 756, y + 22, 96, 44);
    legatoButton.setBounds (x + 864, y + 22, 96, 44);
    tempoDisplay.setBounds (x + 972, y + 22, 96, 44);
    settingsButton.setBounds (x + 1106, y + 22, 44, 44);
    masterChip.setBounds (x + 1188, y + 22, 96, 44);
}

void Header::paint (juce::Graphics& g)
{
    g.setColour (colourOf (palette::borderHair));
    g.fillRect (0, getHeight() - 1, getWidth(), 1);

    if (const auto& icon = programIcon(); icon.isValid())
    {
        juce::Graphics::ScopedSaveState saved (g);
        const juce::Rectangle<float> iconArea (8.0f, 26.0f, 44.0f, 44.0f);
        juce::Path clip;
        clip.addRoundedRectangle (iconArea, 12.0f);
        g.reduceClipRegion (clip);
        g.drawImage (icon, iconArea, juce::RectanglePlacement::stretchToFit);
    }

    g.setFont (getEditorFont (0));
    g.setColour (colourOf (palette::textPrimary));
    g.drawText ("QUILLON", juce::Rectangle<int> (60, 8, 136, 80), juce::Justification::centredLeft, false);

    g.setFont (getEditorFont (7));
    g.setColour (colourOf (palette::textTertiary));

    const auto label = [&g] (const juce::String& text, int x)
    {
        larkspur::widgets::drawFittedLine (g, text.toUpperCase(), juce::Rectangle<int> (x, 0, 96, 22).toFloat(), juce::Justification::centredLeft);
    };

    label (getOctaveText(), 648);
    label ("GLIDE", 756);
    label ("LEGATO", 864);
    label (getTempoLabel(), 972);
    label ("MENU", 1080);
    label ("MASTER", 1188);
}

} // namespace quillon::ui
