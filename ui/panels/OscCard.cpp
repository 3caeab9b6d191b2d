#include "OscCard.h"

#include "plugin/Palette.h"
#include "ui/LookAndFeel.h"
#include "ui/matrix/KnobWiring.h"
#include "widgets/Drawing.h"

#include "engine/sources/PhaseDistortion.h"
#include "plugin/PluginProcessor.h"

#include <atomic>

namespace quillon::ui::widgets
{

namespace
{
using larkspur::widgets::polyline;

constexpr int visualiserPoints = 128;

juce::String percentText (double value)
{
    return juce::String (juce::roundToInt (value * 100.0)) + "%";
}

juce::String decibelText (double value, double silentAtOrBelow)
{
    if (value <= silentAtOrBelow)
        return juce::String (juce::CharPointer_UTF8 ("\xe2\x88\x92\xe2\x88\x9e dB"));
    return formatSignedNumber (value, 1, false, true, false) + " dB";
}

juce::Path sampledGlyph (int wave)
{
    juce::Path p;

    for (int i = 0; i < 40; ++i)
    {
        const float t = (float) i / 39.0f;
        const float s = juce::jlimit (-1.0f, 1.0f, quillon::phaseDistortionShape (wave, t, 0.38f, 4.0f));
        const juce::Point<float> point (t * 28.0f, 4.5f - s * 4.0f);

        if (i == 0)
            p.startNewSubPath (point);
        else
            p.lineTo (point);
    }

    return p;
}

std::array<juce::Path, 10> buildGlyphs()
{
    std::array<juce::Path, 10> glyphs;
    glyphs[0] = polyline ({ { 0, 0.5f }, { 28, 8.5f }, { 28, 0.5f } });
    glyphs[1] = polyline ({ { 0, 0.5f }, { 14, 0.5f }, { 14, 8.5f }, { 28, 8.5f } });
    glyphs[2] = polyline ({ { 0, 8.5f }, { 7, 8.5f }, { 7, 0.5f }, { 14, 0.5f }, { 14, 8.5f }, { 28, 8.5f } });
    glyphs[3] = polyline ({ { 0, 8.5f }, { 4, 8.5f }, { 4, 0.5f }, { 10, 0.5f }, { 10, 8.5f }, { 18, 8.5f },
                            { 18, 0.5f }, { 24, 0.5f }, { 24, 8.5f }, { 28, 8.5f } });

    auto& halfSine = glyphs[4];
    halfSine.startNewSubPath (0, 8.5f);
    halfSine.lineTo (4, 8.5f);
    halfSine.cubicTo (8, 8.5f, 8, 0.5f, 14, 0.5f);
    halfSine.cubicTo (20, 0.5f, 20, 8.5f, 24, 8.5f);
    halfSine.lineTo (28, 8.5f);

    glyphs[5] = sampledGlyph (5);
    glyphs[6] = sampledGlyph (6);
    glyphs[7] = sampledGlyph (7);
    glyphs[8] = polyline ({ { 0, 0.5f }, { 10, 0.5f }, { 10, 8.5f }, { 28, 8.5f } });
    glyphs[9] = sampledGlyph (9);
    return glyphs;
}

int nextRadioGroupId()
{
    static std::atomic<int> counter { 4000 };
    return ++counter;
}
} // namespace

const juce::Path& getWaveGlyph (int waveShape)
{
    static const std::array<juce::Path, 10> glyphs = buildGlyphs();
    return glyphs[(size_t) (waveShape >= 1 && waveShape <= 9 ? waveShape : 0)];
}

juce::String getWaveTooltip (int waveShape)
{
    static const char* const tips[] = {
        "Sawtooth \xe2\x80\x94 bright, classic",
        "Square \xe2\x80\x94 hollow, woody",
        "Pulse \xe2\x80\x94 narrow, nasal",
        "Short pulse \xe2\x80\x94 thin, buzzy",
        "Half sine \xe2\x80\x94 soft, dark",
        "Resonant saw \xe2\x80\x94 vocal, formant-y",
        "Resonant triangle \xe2\x80\x94 chimey, glassy",
        "Resonant trapezoid \xe2\x80\x94 hollow formant",
        "Pulse-width modulation \xe2\x80\x94 band-limited rect, duty via PW knob",
        "Resonant pulse \xe2\x80\x94 nasal formant pulse",
    };

    if (waveShape < 0 || waveShape > 9)
        return {};
    return juce::String::fromUTF8 (tips[waveShape]);
}

//==============================================================================
WaveCell::WaveCell (int shape)
    : juce::Button ({}), waveShape (shape)
{
    setClickingTogglesState (true);
    setWantsKeyboardFocus (true);
    setMouseCursor (juce::MouseCursor::PointingHandCursor);
    setSize (44, 44);
    setTooltip (getWaveTooltip (waveShape));
}

void WaveCell::paintButton (juce::Graphics& g, bool highlighted, bool down)
{
    const auto bounds = getLocalBounds().toFloat();
    paintSurface (g, bounds, highlighted, down, getToggleState(), hasKeyboardFocus (false), isEnabled(), 6);

    juce::Colour glyphColour;
    if (! isEnabled())
        glyphColour = palette::get (palette::textDisabled);
    else if (getToggleState() || highlighted)
        glyphColour = palette::get (palette::controlText);
    else
        glyphColour = palette::get (palette::textSecondary);

    const float w = juce::jmax (bounds.getWidth() - 4.0f, 0.0f), h = juce::jmax (bounds.getHeight() - 4.0f, 0.0f);
    const float s = juce::jmin (h / 9.0f, w / 28.0f);
    const float tx = bounds.getX() + 2.0f + w / 2.0f - 14.0f * s;
    const float ty = bounds.getY() + 2.0f + h / 2.0f - 4.5f * s;

    auto glyph = getWaveGlyph (waveShape);
    glyph.applyTransform (juce::AffineTransform::scale (s).translated (tx, ty));

    g.setColour (glyphColour);
    g.strokePath (glyph, juce::PathStrokeType (1.0f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
}

//==============================================================================
DcwVisualiser::DcwVisualiser (juce::AudioProcessorValueTreeState& s, int index)
    : state (&s), oscIndex (index), dryCurve ((size_t) visualiserPoints, 0.0f),
      shapedCurve ((size_t) visualiserPoints, 0.0f)
{
    setOpaque (false);
    setSize (96, 96);
    refresh();
    startTimerHz (30);
}

DcwVisualiser::~DcwVisualiser()
{
    stopTimer();
}

void DcwVisualiser::refresh()
{
    const auto& oscIds = ids::oscillator (oscIndex);
    auto* wave = dynamic_cast<juce::AudioParameterChoice*> (state->getParameter (oscIds.wave));
    auto* depthValue = state->getRawParameterValue (oscIds.dcwDepth);

    if (wave == nullptr || depthValue == nullptr)
        return;

    const int waveIndex = wave->getIndex();
    const float depth = depthValue->load();

    if (waveIndex == lastWave && std::abs (depth - lastDepth) < 0.005f)
        return;

    lastWave = waveIndex;
    lastDepth = depth;
    const int shape = juce::jlimit (0, 9, waveIndex);

    for (int i = 0; i < visualiserPoints; ++i)
    {
        const float phase = (float) i / (float) visualiserPoints;
        dryCurve[(size_t) i] = quillon::phaseDistortionShape (shape, phase, 0.0f, 16.0f);
        shapedCurve[(size_t) i] = quillon::phaseDistortionShape (shape, phase, depth, 16.0f);
    }

    repaint();
}

void DcwVisualiser::paint (juce::Graphics& g)
{
    const auto b = getLocalBounds().toFloat();
    paintPlotFrame (g, b);

    const float w = juce::jmax (b.getWidth() - 8.0f, 0.0f), h = juce::jmax (b.getHeight() - 8.0f, 0.0f);

    if (w < 4.0f || h < 4.0f || dryCurve.empty() || shapedCurve.empty())
        return;

    const float left = b.getX() + 4.0f, right = left + w;
    const float centre = b.getY() + 4.0f + h / 2.0f, halfHeight = h / 2.0f;

    const auto curvePath = [&] (const std::vector<float>& curve)
    {
        juce::Path p;
        const auto n = curve.size();

        for (size_t i = 0; i < n; ++i)
        {
            const float x = left + (right - left) * (float) i / (float) (n - 1);
            const float y = centre - juce::jlimit (-1.0f, 1.0f, curve[i]) * halfHeight * 0.85f;

            if (i == 0)
                p.startNewSubPath (x, y);
            else
                p.lineTo (x, y);
        }

        return p;
    };

    g.setColour (palette::get (palette::textTertiary).withAlpha (0.72f));
    g.strokePath (curvePath (dryCurve), juce::PathStrokeType (1.0f));
    g.setColour (palette::get (palette::accentPrimary));
    g.strokePath (curvePath (shapedCurve), juce::PathStrokeType (1.5f, juce::PathStrokeType::mitered,
                                                                 juce::PathStrokeType::butt));

    g.setColour (palette::get (palette::borderHair));
    g.drawLine (left, centre, right, centre, 1.0f);
}

//==============================================================================
void OscCard::WaveListener::parameterChanged (const juce::String&, float)
{
    // The wave may be automated from the audio thread; the cells are touched on the message thread only.
    if (juce::MessageManager::existsAndIsCurrentThread())
    {
        if (card != nullptr)
            card->refreshWaveSelection();
        return;
    }

    juce::MessageManager::callAsync ([target = card]
    {
        if (target != nullptr)
            target->refreshWaveSelection();
    });
}

OscCard::OscCard (QuillonAudioProcessor& processor, int index)
    : state (processor.parameterState), oscIndex (index), oscIds (ids::oscillator (index))
{
    using larkspur::widgets::Knob;
    radioGroupId = nextRadioGroupId();

    title = std::make_unique<larkspur::widgets::SectionTitle> ("OSC " + juce::String (oscIndex));
    addAndMakeVisible (*title);

    visualiser = std::make_unique<DcwVisualiser> (state, oscIndex);
    addAndMakeVisible (*visualiser);

    for (int i = 0; i < 10; ++i)
    {
        auto cell = std::make_unique<WaveCell> (i);
        cell->setRadioGroupId (radioGroupId, juce::sendNotification);
        cell->onClick = [this, i] { selectWave (i); };
        addAndMakeVisible (*cell);
        waveCells[(size_t) i] = std::move (cell);
    }

    envelopeEditor = std::make_unique<AdsrEnvelopeEditor> (state, oscIds.dcwEnvelope.attack, oscIds.dcwEnvelope.decay,
                                                           oscIds.dcwEnvelope.sustain, oscIds.dcwEnvelope.release);
    envelopeEditor->setGraphHeightRange (30, 54);
    envelopeEditor->setRowLabels ("A", "D", "S", "R");
    addAndMakeVisible (*envelopeEditor);

    dcwKnob = std::make_unique<Knob> (0, false, false);
    dcwKnob->setLabelText ("DCW");
    dcwKnob->setValueFormatter (percentText);
    dcwKnob->setTooltip ("Phase distortion amount for this oscillator.");
    dcwAttachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (state, oscIds.dcwDepth, *dcwKnob);
    matrix::wireKnob (*dcwKnob, processor, oscIds.dcwDepth, oscIndex == 1 ? ModDestination::osc1Dcw : ModDestination::osc2Dcw);

    levelKnob = std::make_unique<Knob> (0, false, false);
    levelKnob->setLabelText ("LEVEL");
    levelKnob->setValueFormatter ([] (double v) { return decibelText (v, -90.0); });
    levelKnob->setCentreSnap (true, 0.5);
    levelKnob->setTooltip ("Oscillator level into the main filter.");
    levelAttachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (state, oscIds.level, *levelKnob);
    matrix::wireKnob (*levelKnob, processor, oscIds.level, oscIndex == 1 ? ModDestination::osc1Level : ModDestination::osc2Level);

    morphKnob = std::make_unique<Knob> (0, false, false);
    morphKnob->setLabelText ("MORPH");
    morphKnob->setValueFormatter (percentText);
    morphKnob->setTooltip ("Morphs both PD oscillators toward the next wave shape.");
    morphAttachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (state, ids::pdMorphAmount, *morphKnob);
    matrix::wireKnob (*morphKnob, processor, ids::pdMorphAmount, ModDestination::pdMorph);

    knobRow = std::make_unique<larkspur::widgets::KnobRow> (0);
    knobRow->setKnobs ({ dcwKnob.get(), levelKnob.get(), morphKnob.get() });
    knobRow->setGap (1);
    addAndMakeVisible (*knobRow);

    semitoneChip = std::make_unique<larkspur::widgets::ValueChip> (state, oscIds.semitone, "SEMI");
    semitoneChip->setValueFormatter ([] (double v)
    {
        const int n = juce::roundToInt (v);
        return (n < 1 ? juce::String (n) : "+" + juce::String (n)) + " st";
    });
    semitoneChip->setTooltip ("OSC " + juce::String (oscIndex) + " coarse pitch in semitones.");
    semitoneChip->setShowStepArrows (false);
    addAndMakeVisible (*semitoneChip);

    fineChip = std::make_unique<larkspur::widgets::ValueChip> (state, oscIds.fine, "FINE");
    fineChip->setValueFormatter ([] (double v) { return formatSignedNumber (v, 1, false, true, false) + " c"; });
    fineChip->setTooltip ("OSC " + juce::String (oscIndex) + " fine pitch in cents.");
    fineChip->setShowStepArrows (false);
    addAndMakeVisible (*fineChip);

    waveListener = std::make_unique<WaveListener> (*this);
    state.addParameterListener (oscIds.wave, waveListener.get());
    refreshWaveSelection();
}

OscCard::~OscCard()
{
    state.removeParameterListener (oscIds.wave, waveListener.get());
    dcwAttachment.reset();
    levelAttachment.reset();
    morphAttachment.reset();
}

void OscCard::refreshWaveSelection()
{
    auto* wave = dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (oscIds.wave));
    const int selected = wave != nullptr ? wave->getIndex() : 0;

    for (int i = 0; i < 10; ++i)
        waveCells[(size_t) i]->setToggleState (i == selected, juce::dontSendNotification);
}

void OscCard::selectWave (int index)
{
    auto* wave = dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (oscIds.wave));

    if (wave == nullptr || wave->getIndex() == index)
        return;

    wave->beginChangeGesture();
    wave->setValueNotifyingHost (wave->convertTo0to1 ((float) index));
    wave->endChangeGesture();
}

void OscCard::paint (juce::Graphics& g)
{
    SectionFrame::paint (g);

    auto captionFont = getEditorFont (7);
    captionFont.setExtraKerningFactor (0.12f);
    g.setFont (captionFont);
    // The card's surface is the toolkit's and stays dark; a light theme's dark caption falls back to
    // the toolkit's own caption colour on it.
    g.setColour (readableInk (palette::get (palette::textSecondary), getFillColour(),
                              { larkspur::widgets::getWidgetTheme().getColour (larkspur::widgets::ColourId::textTertiary) }));
    larkspur::widgets::drawFittedLine (g, "DCW ENV", juce::Rectangle<int> (236, 8, 164, 22).toFloat(), juce::Justification::centredLeft);
}

void OscCard::resized()
{
    SectionFrame::resized();

    if (title != nullptr)
        title->setBounds (20, 8, 164, 22);
    if (visualiser != nullptr)
        visualiser->setBounds (16, 62, 172, 126);
    if (envelopeEditor != nullptr)
        envelopeEditor->setBounds (232, 62, 172, 126);

    for (int i = 0; i < 10; ++i)
        if (auto& cell = waveCells[(size_t) i])
            cell->setBounds (16 + 36 * (i % 5), 232 + 32 * (i / 5), 28, 24);

    if (knobRow != nullptr)
        knobRow->setBounds (196, 216, 120, 96); // from the wave cells to the chips, so the level text fits
    if (semitoneChip != nullptr)
        semitoneChip->setBounds (324, 216, 96, 44);
    if (fineChip != nullptr)
        fineChip->setBounds (324, 268, 96, 44);
}

} // namespace quillon::ui::widgets
