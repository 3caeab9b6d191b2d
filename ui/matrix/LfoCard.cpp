#include "LfoCard.h"

#include "KnobWiring.h"
#include "engine/control/Lfo.h"
#include "plugin/Palette.h"
#include "plugin/ParameterIds.h"
#include "plugin/PluginProcessor.h"
#include "widgets/Drawing.h"

#include <cmath>

namespace quillon::ui::widgets
{

namespace
{
    namespace pal = quillon::palette;
    using larkspur::widgets::polyline;

    juce::Path sineGlyph()
    {
        juce::Path p;
        p.startNewSubPath (0.0f, 4.5f);
        p.cubicTo (7.0f, 0.5f, 7.0f, 0.5f, 14.0f, 4.5f);
        p.cubicTo (21.0f, 8.5f, 21.0f, 8.5f, 28.0f, 4.5f);
        return p;
    }
} // namespace

int syncDivisionIndex (float normalisedRate)
{
    // Half away from zero, as the rate text and the preview both show it.
    const auto k = (int) std::round (juce::jlimit (0.0f, 1.0f, normalisedRate) * 9.0f);
    return juce::jlimit (0, 9, k);
}

//==============================================================================
LfoPreviewStrip::LfoPreviewStrip (juce::AudioProcessorValueTreeState& s)
    : rate (s.getParameter (ids::lfo1Rate)),
      depth (s.getParameter (ids::lfo1Depth)),
      shape (s.getParameter (ids::lfo1Shape)),
      sync (s.getParameter (ids::lfo1Sync)),
      syncBpm (s.getParameter (ids::lfoSyncBpm))
{
    setSize (280, 96);
    // It paints its corners in its card's colour itself, so a frame repaints only the preview and
    // not the card and editor behind it.
    setOpaque (true);
    startTimerHz (pollHz);
}

LfoPreviewStrip::~LfoPreviewStrip()
{
    stopTimer();
}

float LfoPreviewStrip::getCyclesPerSecond() const
{
    float r = rate != nullptr ? rate->convertFrom0to1 (rate->getValue()) : 1.0f;

    if (sync != nullptr && juce::roundToInt (sync->convertFrom0to1 (sync->getValue())) == 1)
    {
        const float bpm = syncBpm != nullptr ? syncBpm->convertFrom0to1 (syncBpm->getValue()) : 120.0f;

        if (rate != nullptr)
        {
            const float beats = quillon::lfoSyncDivisions[(size_t) syncDivisionIndex (rate->getValue())].beats;
            r = beats > 0.0f ? bpm / 60.0f / beats : 0.0f;
        }
        else
        {
            r = bpm / 60.0f / 0.5f;
        }
    }

    return r;
}

bool LfoPreviewStrip::isOnScreen() const
{
    // Like isShowing(), but a tree not yet on the desktop counts as shown when it is all visible.
    for (auto* c = static_cast<const juce::Component*> (this); c != nullptr; c = c->getParentComponent())
    {
        if (! c->isVisible())
            return false;

        if (auto* peer = c->getPeer(); peer != nullptr && c->getParentComponent() == nullptr)
            return ! peer->isMinimised();
    }

    return true;
}

void LfoPreviewStrip::advance (double seconds)
{
    const float r = getCyclesPerSecond();

    if (std::isfinite (r) && seconds > 0.0)
        displayPhase = (float) std::fmod ((double) displayPhase + r * seconds, 16.0);

    if (! (displayPhase >= 0.0f && displayPhase <= 16.0f))
        displayPhase = 0.0f;

    // The curve moves by whole design pixels: a slow LFO repaints seldom, a fast one at the poll rate.
    const float cyclesPerPixel = 2.0f / juce::jmax (1.0f, (float) getWidth() - 16.0f);
    const float moved = std::abs (displayPhase - paintedPhase);
    const bool curveMoved = juce::jmin (moved, 16.0f - moved) >= cyclesPerPixel;

    const float shown[2] = { shape != nullptr ? shape->getValue() : -1.0f, depth != nullptr ? depth->getValue() : -1.0f };
    const bool lookChanged = shown[0] != shownShape || shown[1] != shownDepth;

    if ((curveMoved || lookChanged) && isOnScreen())
    {
        shownShape = shown[0];
        shownDepth = shown[1];
        paintedPhase = displayPhase;
        repaint();
    }
}

void LfoPreviewStrip::timerCallback()
{
    const auto now = juce::Time::getMillisecondCounterHiRes();
    // A stalled message loop does not make the curve jump ahead by more than a few frames.
    const double elapsed = lastTickMs > 0.0 ? juce::jlimit (0.0, 0.25, (now - lastTickMs) / 1000.0) : 1.0 / pollHz;
    lastTickMs = now;
    advance (elapsed);

    // Each wake-up costs more than the small paint: look only as often as the curve moves a pixel.
    const float pixelsPerSecond = getCyclesPerSecond() * juce::jmax (1.0f, (float) getWidth() - 16.0f) / 2.0f;
    const int hz = juce::jlimit (minimumPollHz, pollHz, juce::roundToInt (std::isfinite (pixelsPerSecond) ? pixelsPerSecond : 0.0f));
    if (hz != currentPollHz)
    {
        currentPollHz = hz;
        startTimerHz (hz);
    }
}

float LfoPreviewStrip::sampleAndHoldLevel (double phase)
{
    auto n = (juce::uint32) (juce::int32) std::floor (phase);
    n ^= n >> 16;
    n *= 0x7FEB352Du;
    n ^= n >> 15;
    n *= 0x846CA68Bu;
    n ^= n >> 16;
    return (float) (n & 0xFFFFu) / 32767.5f - 1.0f;
}

void LfoPreviewStrip::mouseDown (const juce::MouseEvent& e)
{
    if (rate == nullptr || depth == nullptr)
        return;

    dragging = true;
    dragStartX = e.getPosition().x;
    dragStartY = e.getPosition().y;
    dragStartRate = rate->getValue();
    dragStartDepth = depth->getValue();
    rate->beginChangeGesture();
    depth->beginChangeGesture();
}

void LfoPreviewStrip::mouseDrag (const juce::MouseEvent& e)
{
    if (! dragging)
        return;

    const auto pos = e.getPosition();
    rate->setValueNotifyingHost (juce::jlimit (0.0f, 1.0f, dragStartRate + (float) (pos.x - dragStartX) / 240.0f));
    depth->setValueNotifyingHost (juce::jlimit (0.0f, 1.0f, dragStartDepth + (float) (dragStartY - pos.y) / 200.0f));
}

void LfoPreviewStrip::mouseUp (const juce::MouseEvent&)
{
    if (! dragging)
        return;

    dragging = false;
    rate->endChangeGesture();
    depth->endChangeGesture();
}

void LfoPreviewStrip::paint (juce::Graphics& g)
{
    const auto bounds = getLocalBounds().toFloat();
    const auto* card = dynamic_cast<larkspur::widgets::SectionFrame*> (getParentComponent());
    g.fillAll (card != nullptr ? card->getFillColour() : pal::get (pal::bgGround));
    g.setColour (pal::get (pal::bgPanel));
    g.fillRoundedRectangle (bounds, 4.0f);
    g.setColour (pal::get (pal::borderHair));
    g.drawRoundedRectangle (bounds.reduced (0.5f), 4.0f, 1.0f);

    const float X = bounds.getX() + 8.0f, Y = bounds.getY() + 8.0f;
    const float W = juce::jmax (bounds.getWidth() - 16.0f, 0.0f), H = juce::jmax (bounds.getHeight() - 16.0f, 0.0f);
    const float mid = Y + H / 2.0f;

    if (W <= 0.0f)
        return;

    const int shapeIndex = shape != nullptr ? juce::roundToInt (shape->convertFrom0to1 (shape->getValue())) : 0;
    const float depthValue = depth != nullptr ? depth->getValue() : 0.5f;

    g.setColour (pal::get (pal::borderHair).withAlpha (0.18f));
    g.drawLine (X, mid, X + W, mid, 1.0f);

    const bool faint = depthValue < 0.02f;
    const float a = faint ? 0.22f : depthValue;
    juce::Path curve;

    for (int i = 0; i < 256; ++i)
    {
        const double p = (double) displayPhase + 2.0 * i / 255.0;
        const double frac = p - std::floor (p);
        float s;

        switch (shapeIndex)
        {
            case 1:  s = (float) (std::abs (frac - 0.5) * 4.0 - 1.0); break;
            case 2:  s = frac < 0.5 ? 1.0f : -1.0f; break;
            case 3:  s = sampleAndHoldLevel (p); break;
            default: s = (float) std::sin (juce::MathConstants<double>::twoPi * p); break;
        }

        const juce::Point<float> point (X + (float) i / 255.0f * W, mid - a * s * 0.4f * H);

        if (i == 0)
            curve.startNewSubPath (point);
        else
            curve.lineTo (point);
    }

    if (faint)
        g.setColour (pal::get (pal::textSecondary).withAlpha (0.34f));
    else
        g.setColour (sourceColourForId ("lfo1"));

    g.strokePath (curve, juce::PathStrokeType (faint ? 1.0f : 1.5f));
}

//==============================================================================
LfoCard::LfoCard (juce::AudioProcessorValueTreeState& s, QuillonAudioProcessor& processor)
    : state (s)
{
    title = std::make_unique<larkspur::widgets::SectionTitle> ("LFO");
    addAndMakeVisible (*title);

    sourceChip = std::make_unique<SourceChip> ("lfo1", "LFO");
    sourceChip->setParameterState (&state);
    addAndMakeVisible (*sourceChip);

    preview = std::make_unique<LfoPreviewStrip> (state);
    addAndMakeVisible (*preview);

    if (auto* shapeParameter = dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (ids::lfo1Shape)))
    {
        shapeControl = std::make_unique<larkspur::widgets::SegmentedControl> (
            *shapeParameter, juce::StringArray { "SINE", "TRI", "SQR", "S&H" });
        shapeControl->setGap (1);

        const juce::Path glyphs[] = {
            sineGlyph(),
            polyline ({ { 0.0f, 4.5f }, { 7.0f, 0.5f }, { 21.0f, 8.5f }, { 28.0f, 4.5f } }),
            polyline ({ { 0.0f, 0.5f }, { 14.0f, 0.5f }, { 14.0f, 8.5f }, { 28.0f, 8.5f } }),
            polyline ({ { 0.0f, 6.0f }, { 6.0f, 6.0f }, { 6.0f, 1.5f }, { 13.0f, 1.5f }, { 13.0f, 4.0f },
                        { 20.0f, 4.0f }, { 20.0f, 7.0f }, { 28.0f, 7.0f } }),
        };
        const char* tooltips[] = { "Sine LFO.", "Triangle LFO.", "Square LFO.", "Sample-and-hold LFO." };

        for (int i = 0; i < shapeControl->getNumCells() && i < 4; ++i)
        {
            auto* cell = shapeControl->getCell (i);
            cell->setGlyph (glyphs[i], { 0.0f, 0.0f, 28.0f, 9.0f });
            cell->setTooltip (tooltips[i]);
        }

        addAndMakeVisible (*shapeControl);
    }

    modeDropdown = std::make_unique<larkspur::widgets::HeaderChoice> (state, ids::lfo1Sync, "LFO mode");
    addAndMakeVisible (*modeDropdown);

    // The rate text depends on the mode, so a mode change must redraw it.
    modeDropdown->getComboBox().onChange = [this]
    {
        if (rateKnob != nullptr)
            rateKnob->repaint();
    };

    rateKnob = std::make_unique<larkspur::widgets::Knob> (0, false, false);
    rateKnob->setLabelText ("RATE");
    rateKnob->setValueFormatter ([this] (double v) { return formatRate (v); });
    rateAttachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (state, ids::lfo1Rate, *rateKnob);
    quillon::ui::matrix::wireKnob (*rateKnob, processor, ids::lfo1Rate, ModDestination::lfo1Rate);

    depthKnob = std::make_unique<larkspur::widgets::Knob> (0, false, false);
    depthKnob->setLabelText ("DEPTH");
    depthKnob->setValueFormatter ([] (double v) { return formatDepth (v); });
    depthAttachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (state, ids::lfo1Depth, *depthKnob);
    quillon::ui::matrix::wireKnob (*depthKnob, processor, ids::lfo1Depth, ModDestination::lfo1Depth);

    knobRow = std::make_unique<larkspur::widgets::KnobRow> (0);
    knobRow->setGap (6);
    knobRow->setKnobs ({ rateKnob.get(), depthKnob.get() });
    addAndMakeVisible (*knobRow);
}

LfoCard::~LfoCard()
{
    // Attachments go before the knobs they drive.
    depthAttachment.reset();
    rateAttachment.reset();
    knobRow.reset();
    depthKnob.reset();
    rateKnob.reset();
    modeDropdown.reset();
    shapeControl.reset();
    preview.reset();
    sourceChip.reset();
    title.reset();
}

juce::String LfoCard::formatRate (double hz) const
{
    auto* syncParameter = dynamic_cast<juce::AudioParameterChoice*> (state.getParameter (ids::lfo1Sync));

    if (syncParameter != nullptr && syncParameter->getIndex() == 1)
    {
        auto* rate = state.getParameter (ids::lfo1Rate);
        const float normalised = rate != nullptr ? rate->convertTo0to1 ((float) hz) : 0.0f;
        return quillon::lfoSyncDivisions[(size_t) syncDivisionIndex (normalised)].label;
    }

    return juce::String (hz, hz < 10.0 ? 2 : 1) + " Hz";
}

juce::String LfoCard::formatDepth (double value)
{
    return juce::String (juce::roundToInt (value * 100.0)) + " %";
}

void LfoCard::resized()
{
    const int x = 0, y = 0;

    if (title != nullptr)
    {
        if (modeDropdown != nullptr)
        {
            const int d = juce::jmin (modeDropdown->getIdealWidth(), 54);
            modeDropdown->setBounds (x + 184 - d, y + 12, d, 22);
            title->setBounds (x + 20, y + 8, 156 - d, 22);
        }
        else
        {
            title->setBounds (x + 20, y + 8, 164, 22);
        }
    }

    preview->setBounds (x + 16, y + 62, 172, 126);
    knobRow->setBounds (x, y + 216, 96, 96);

    if (shapeControl != nullptr)
        shapeControl->setBounds (x + 108, y + 216, 96, 44);

    // Under the shape cells and as wide, so that the chip's name can be read.
    sourceChip->setBounds (x + 108, y + 268, 96, 36);
}

} // namespace quillon::ui::widgets
