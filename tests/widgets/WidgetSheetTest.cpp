// Paints every control of the toolkit in its states onto one sheet and writes it as a PNG in the
// build folder (test-output/widget-sheet.png), so a person can look at the toolkit; a few pixels
// are checked against the theme on the way.
#include "WidgetTestSupport.h"

#include "widgets/Frames.h"
#include "widgets/ValueControls.h"

#include <cmath>

using namespace larkspur::widgets;
using namespace widget_tests;

namespace
{
constexpr int labelColumn = 132;
constexpr float halfPi = juce::MathConstants<float>::halfPi;
constexpr float twoPi = juce::MathConstants<float>::twoPi;
constexpr float travelStart = 1.25f * juce::MathConstants<float>::pi;
constexpr float travel = 1.5f * juce::MathConstants<float>::pi;
constexpr int cellWidth = 220;
constexpr int headerHeight = 40;
const char* const stateNames[] = { "idle", "hover", "pressed", "disabled", "modulated", "MIDI learn" };
enum State { idle, hover, pressed, disabled, modulated, armed, numStates };

/** Combo boxes are drawn by the editor's look-and-feel; the sheet borrows the theme colours for them. */
struct SheetLookAndFeel : juce::LookAndFeel_V4
{
    SheetLookAndFeel()
    {
        const auto& t = getWidgetTheme();
        setColour (juce::ComboBox::backgroundColourId, t.getColour (ColourId::surface2));
        setColour (juce::ComboBox::outlineColourId, t.getColour (ColourId::hair));
        setColour (juce::ComboBox::textColourId, t.getColour (ColourId::textPrimary));
        setColour (juce::ComboBox::arrowColourId, t.getColour (ColourId::textTertiary));
        setColour (juce::ComboBox::focusedOutlineColourId, t.getColour (ColourId::focus));
    }

    juce::Font getComboBoxFont (juce::ComboBox& box) override
    {
        return getStyleFont ((bool) box.getProperties()[compactChoiceProperty] ? 6 : 5);
    }
};

class Sheet : public juce::Component
{
public:
    Sheet()
    {
        setLookAndFeel (&lookAndFeel);
    }

    ~Sheet() override
    {
        setLookAndFeel (nullptr);
    }

    template <typename ComponentType>
    ComponentType& own (std::unique_ptr<ComponentType> c)
    {
        auto& ref = *c;
        addAndMakeVisible (ref);
        owned.push_back (std::move (c));
        return ref;
    }

    /** Starts a row with a title and a height; cells are placed by state column. */
    int addRow (const juce::String& title, int height)
    {
        rows.push_back ({ title, nextRowY, height });
        nextRowY += height + 16;
        return (int) rows.size() - 1;
    }

    juce::Point<int> cellOrigin (int row, int state) const
    {
        return { labelColumn + state * cellWidth + 12, rows[(size_t) row].y + 8 };
    }

    void place (juce::Component& c, int row, int state, juce::Point<int> offset = {})
    {
        c.setTopLeftPosition (cellOrigin (row, state) + offset);
    }

    void addSection (const juce::String& title)
    {
        sections.push_back ({ title, nextRowY });
        nextRowY += 32;
    }

    int getContentHeight() const { return nextRowY; }

    void paint (juce::Graphics& g) override
    {
        const auto& t = getWidgetTheme();
        g.fillAll (t.getColour (ColourId::ground));

        for (int s = 0; s < numStates; ++s)
            drawStyledText (g, 6, stateNames[s], { labelColumn + s * cellWidth + 12, 12, cellWidth - 24, 20 },
                            t.getColour (ColourId::textTertiary), juce::Justification::centredLeft);

        g.setColour (t.getColour (ColourId::hair).withAlpha (0.35f));
        g.fillRect (12, headerHeight - 4, getWidth() - 24, 1);

        for (const auto& section : sections)
        {
            drawStyledText (g, 2, section.title, { 12, section.y + 6, getWidth() - 24, 20 },
                            t.getColour (ColourId::accent), juce::Justification::centredLeft);
        }

        for (const auto& row : rows)
            drawStyledText (g, 6, row.title, { 12, row.y + 8, labelColumn - 20, 22 },
                            t.getColour (ColourId::textTertiary), juce::Justification::centredLeft);
    }

private:
    struct Row { juce::String title; int y; int height; };
    struct Section { juce::String title; int y; };

    SheetLookAndFeel lookAndFeel;
    std::vector<std::unique_ptr<juce::Component>> owned;
    std::vector<Row> rows;
    std::vector<Section> sections;
    int nextRowY = headerHeight + 8;
};

juce::String formatHz (double v)
{
    const auto hz = 20.0 * std::pow (1000.0, v);
    return hz >= 1000.0 ? juce::String (hz / 1000.0, 2) + " kHz" : juce::String (juce::roundToInt (hz)) + " Hz";
}

juce::String formatSigned (double v)
{
    const auto n = juce::roundToInt (v * 100.0);
    return n > 0 ? "+" + juce::String (n) : juce::String (n);
}

juce::Path triangleGlyph()
{
    juce::Path p;
    p.startNewSubPath (0.0f, 10.0f);
    p.lineTo (5.0f, 0.0f);
    p.lineTo (10.0f, 10.0f);
    return p;
}

juce::Path sineGlyph()
{
    juce::Path p;
    p.startNewSubPath (0.0f, 5.0f);
    for (int i = 1; i <= 40; ++i)
        p.lineTo ((float) i * 0.25f, 5.0f - 5.0f * std::sin ((float) i / 40.0f * juce::MathConstants<float>::twoPi));
    return p;
}

juce::Path squareGlyph()
{
    juce::Path p;
    p.startNewSubPath (0.0f, 10.0f);
    p.lineTo (0.0f, 0.0f);
    p.lineTo (5.0f, 0.0f);
    p.lineTo (5.0f, 10.0f);
    p.lineTo (10.0f, 10.0f);
    p.lineTo (10.0f, 0.0f);
    return p;
}

/** A knob's modulation state as the editor would wire it. */
struct RingState
{
    float amount = 0.45f;
};
} // namespace

TEST (WidgetSheet, PaintsEveryControlInItsStatesAndWritesAPng)
{
    DummyProcessor proc;
    Sheet sheet;
    const auto& theme = getWidgetTheme();
    std::vector<std::unique_ptr<RingState>> rings;

    // A probe passes when some pixel within `radius` of its point has the expected colour: strokes are
    // anti-aliased, so only their middles carry the pure colour.
    struct Probe { juce::String what; juce::Point<int> at; juce::Colour expected; int tolerance; int radius = 0; };
    std::vector<Probe> probes;

    // The value arc of an armed knob, at blink phase 0, is drawn at three quarters of its alpha.
    struct BlinkProbe { juce::String what; juce::Point<int> idleArc, armedArc; };
    std::vector<BlinkProbe> blinkProbes;

    // Presses held for the picture are let go before the parameters go away.
    std::vector<std::function<void()>> releases;

    // ---- Knobs -------------------------------------------------------------------------------
    sheet.addSection ("Knobs");

    struct KnobCase { const char* title; int variant; bool bipolar; const char* caption; double value; };
    const KnobCase knobCases[] = { { "Knob small", 0, false, "Cutoff", 0.62 },
                                   { "Knob medium bipolar", 1, true, "Detune", -0.35 },
                                   { "Knob large", 2, false, "Drive", 0.4 },
                                   { "Knob extra large", 3, true, "Env amt", 0.55 } };

    for (const auto& kc : knobCases)
    {
        const auto metrics = getKnobMetrics (kc.variant);
        const int row = sheet.addRow (kc.title, metrics.height);

        for (int s = 0; s < numStates; ++s)
        {
            auto& knob = sheet.own (std::make_unique<Knob> (kc.variant, kc.bipolar, false));
            knob.setLabelText (kc.caption);

            if (kc.bipolar)
            {
                knob.setRange (-1.0, 1.0, 0.0);
                knob.setValueFormatter (formatSigned);
            }
            else
            {
                knob.setValueFormatter (formatHz);
            }

            knob.setValue (kc.value, juce::dontSendNotification);
            sheet.place (knob, row, s);

            auto& ring = *rings.emplace_back (std::make_unique<RingState>());
            knob.setModulationRingCallbacks ([&ring] { return ring.amount; }, {},
                                             [&ring] (float a) { ring.amount = a; }, {});
            const auto geo = knob.getGeometry();
            const auto centre = knob.getPosition() + juce::Point<int> ((int) geo.cx, (int) geo.cy);

            switch (s)
            {
                case hover:
                    knob.setModulationTarget (true);
                    knob.itemDragEnter ({ "lfo1", nullptr, {} });
                    break;

                case pressed:
                    // Pressed on the ring of a modulated knob: the ring drag draws its arc bold.
                    knob.setModulated (true);
                    knob.setLiveValue (0.7);
                    knob.mouseDown (mouseEvent (knob, { geo.cx - geo.ringRadius, geo.cy }, leftButton()));
                    knob.mouseDrag (mouseEvent (knob, { geo.cx - geo.ringRadius, geo.cy - 10.0f }, leftButton(), {}, 1, true));
                    break;

                case disabled:
                    knob.setEnabled (false);
                    break;

                case modulated:
                    knob.setModulated (true);
                    knob.setLiveValue (0.3);
                    break;

                case armed:
                    knob.setMidiLearnArmed (true);
                    knob.stopTimer(); // a still frame at blink phase 0
                    break;

                default:
                    break;
            }

            const auto onCircle = [&] (float radius, float angle)
            {
                return knob.getPosition() + juce::Point<float> (geo.cx + radius * std::cos (angle - halfPi),
                                                                geo.cy + radius * std::sin (angle - halfPi)).roundToInt();
            };
            const auto valueAngle = travelStart + (float) knob.valueToProportionOfLength (kc.value) * travel;
            const auto arcMiddle = kc.bipolar ? (valueAngle + twoPi) * 0.5f : (valueAngle + travelStart) * 0.5f;

            if (s == idle)
            {
                probes.push_back ({ juce::String (kc.title) + " body", centre, theme.getColour (ColourId::surface2), 1 });
                probes.push_back ({ juce::String (kc.title) + " value arc", onCircle (geo.knobDiameter * 0.5f, arcMiddle),
                                    theme.getColour (ColourId::accent), 2, 2 });
            }
            else if (s == armed)
            {
                // The same spot of the idle knob, five cells to the left.
                const auto armedPoint = onCircle (geo.knobDiameter * 0.5f, arcMiddle);
                blinkProbes.push_back ({ kc.title, armedPoint - juce::Point<int> ((armed - idle) * cellWidth, 0), armedPoint });
            }
            else if (s == pressed)
            {
                // Ring amount 0.55 after the drag: the arc runs clockwise from the top.
                const auto ringAngle = travelStart + (0.55f + 1.0f) * 0.5f * travel;
                probes.push_back ({ juce::String (kc.title) + " ring arc", onCircle (geo.ringRadius, (ringAngle + twoPi) * 0.5f),
                                    theme.getColour (ColourId::modulation), 2, 2 });
            }
        }
    }

    // ---- Choices -----------------------------------------------------------------------------
    sheet.addSection ("Choices");
    {
        const int row = sheet.addRow ("Dropdown", 32);
        const int compactRow = sheet.addRow ("Header choice", 28);

        for (int s : { (int) idle, (int) disabled })
        {
            auto& dropdown = sheet.own (std::make_unique<ChoiceDropdown> (proc.state, "shape", "LFO shape"));
            dropdown.setSize (dropdown.getIdealWidth(), 32);
            dropdown.setEnabled (s != disabled);
            sheet.place (dropdown, row, s);

            auto& header = sheet.own (std::make_unique<HeaderChoice> (proc.state, "colour", "Noise colour"));
            header.setSize (header.getIdealWidth(), 28);
            header.setEnabled (s != disabled);
            sheet.place (header, compactRow, s);
        }
    }
    {
        const int row = sheet.addRow ("Segmented", 44);
        const int glyphRow = sheet.addRow ("Segmented glyphs", 44);

        for (int s : { (int) idle, (int) hover, (int) pressed, (int) disabled })
        {
            auto& control = sheet.own (std::make_unique<SegmentedControl> (proc.choice ("colour"),
                                                                           juce::StringArray { "white", "pink", "brown" }));
            control.setGap (1);
            sheet.place (control, row, s);

            auto& shapes = sheet.own (std::make_unique<SegmentedControl> (proc.choice ("shape"),
                                                                          juce::StringArray { "sine", "tri", "sqr" }));
            shapes.setGap (1);
            shapes.getCell (0)->setGlyph (sineGlyph(), { 0, 0, 10, 10 });
            shapes.getCell (1)->setGlyph (triangleGlyph(), { 0, 0, 10, 10 });
            shapes.getCell (2)->setGlyph (squareGlyph(), { 0, 0, 10, 10 });
            sheet.place (shapes, glyphRow, s);

            for (auto* c : { &control, &shapes })
            {
                if (s == hover)
                    c->getCell (2)->setState (juce::Button::buttonOver);
                else if (s == pressed)
                    c->getCell (2)->setState (juce::Button::buttonDown);
                else if (s == disabled)
                    c->setEnabled (false);
            }

            if (s == idle)
                probes.push_back ({ "selected segment bar", control.getPosition() + juce::Point<int> (20, 0),
                                    theme.getColour (ColourId::textPrimary), 1 });
        }
    }
    {
        const int row = sheet.addRow ("Route switch", 44);
        const int blendRow = sheet.addRow ("Route blend", 44);
        proc.param ("blend").setValueNotifyingHost (0.37f);

        for (int s : { (int) idle, (int) hover, (int) pressed, (int) disabled })
        {
            auto& route = sheet.own (std::make_unique<RouteSwitch> (proc.state, "toggle", RouteSwitch::discrete,
                                                                    RouteOption { "DRV", "Before drive." },
                                                                    RouteOption { "CLN", "After drive." }));
            auto& blend = sheet.own (std::make_unique<RouteSwitch> (proc.state, "blend", RouteSwitch::blend,
                                                                    RouteOption { "PRE", "Before the filter." },
                                                                    RouteOption { "POST", "After the filter." }));
            sheet.place (route, row, s);
            sheet.place (blend, blendRow, s);

            for (auto* r : { &route, &blend })
            {
                if (s == hover)
                    r->mouseEnter (mouseEvent (*r, { 10, 10 }));
                else if (s == pressed)
                {
                    r->mouseDown (mouseEvent (*r, { 35, 10 }, leftButton()));
                    releases.push_back ([r] { r->mouseUp (mouseEvent (*r, { 35, 10 }, leftButton())); });
                }
                else if (s == disabled)
                    r->setEnabled (false);
            }

            if (s == idle)
                probes.push_back ({ "route inner box", route.getPosition() + juce::Point<int> (8, 8),
                                    theme.getColour (ColourId::hoverFill), 1 });
        }
    }

    // ---- Values ------------------------------------------------------------------------------
    sheet.addSection ("Values");
    {
        const int row = sheet.addRow ("Value chip", 44);
        const int plainRow = sheet.addRow ("Value chip plain", 44);

        for (int s : { (int) idle, (int) hover, (int) pressed, (int) disabled })
        {
            auto& chip = sheet.own (std::make_unique<ValueChip> (proc.state, "semis", "Semi"));
            chip.setValueFormatter ([] (double v) { return formatSigned (v / 100.0) + " st"; });
            sheet.place (chip, row, s);

            auto& plain = sheet.own (std::make_unique<ValueChip> (proc.state, "level", ""));
            plain.setShowStepArrows (false);
            plain.setValueFormatter ([] (double v) { return juce::String (v, 1) + " dB"; });
            sheet.place (plain, plainRow, s);

            for (auto* c : { &chip, &plain })
            {
                if (s == hover)
                    c->mouseEnter (mouseEvent (*c, { 10, 10 }));
                else if (s == pressed)
                {
                    c->mouseDown (mouseEvent (*c, { 10, 10 }, leftButton()));
                    releases.push_back ([c] { c->mouseUp (mouseEvent (*c, { 10, 10 }, leftButton())); });
                }
                else if (s == disabled)
                    c->setEnabled (false);
            }

            if (s == hover)
                probes.push_back ({ "hovered chip fill", chip.getPosition() + juce::Point<int> (4, 40),
                                    theme.getColour (ColourId::hoverFill), 1 });
        }
    }
    {
        const int row = sheet.addRow ("Bipolar bar", 44);

        for (int s : { (int) idle, (int) hover, (int) pressed, (int) disabled })
        {
            auto& bar = sheet.own (std::make_unique<BipolarBar>());
            bar.setWidthVariant (2);
            bar.setSize (200, 44);
            bar.setInteractive (s != disabled);
            bar.setValue (s == pressed ? -0.62f : 0.35f);
            sheet.place (bar, row, s);

            if (s == hover)
                bar.mouseEnter (mouseEvent (bar, { 10, 10 }));
            else if (s == pressed)
                bar.mouseDown (mouseEvent (bar, { 28.0f, 22.0f }, leftButton()));
            else if (s == disabled)
                bar.setEnabled (false);

            if (s == idle)
                probes.push_back ({ "bipolar amount", bar.getPosition() + juce::Point<int> (74 + 20, 22),
                                    theme.getColour (ColourId::accent), 1 });
        }
    }
    {
        const int row = sheet.addRow ("Tab", 44);

        for (int s : { (int) idle, (int) hover, (int) pressed, (int) disabled, (int) modulated })
        {
            auto& tab = sheet.own (std::make_unique<Tab> (s == modulated ? "Selected" : "Matrix"));
            sheet.place (tab, row, s);

            if (s == hover)
                tab.setState (juce::Button::buttonOver);
            else if (s == pressed)
                tab.setState (juce::Button::buttonDown);
            else if (s == disabled)
                tab.setEnabled (false);
            else if (s == modulated)
                tab.setToggleState (true, juce::dontSendNotification);

            if (s == idle)
                probes.push_back ({ "tab ground", tab.getPosition() + juce::Point<int> (6, 40),
                                    theme.getColour (ColourId::ground), 1 });
            else if (s == modulated)
                probes.push_back ({ "selected tab fill", tab.getPosition() + juce::Point<int> (6, 40),
                                    theme.getColour (ColourId::hoverFill), 1 });
        }
    }

    // ---- Containers --------------------------------------------------------------------------
    sheet.addSection ("Frames and headers");
    {
        const int row = sheet.addRow ("Section header", 44);
        auto& plain = sheet.own (std::make_unique<SectionHeader>());
        plain.setText ("Oscillator 1");
        plain.setStatusText ("Bypassed");
        plain.setSize (420, 44);
        sheet.place (plain, row, idle);

        auto& action = sheet.own (std::make_unique<SectionHeader>());
        action.setText ("Modulation");
        action.setStatusText ("Reset");
        action.action = [] {};
        action.setSize (420, 44);
        sheet.place (action, row, pressed);
        paintToImage (action); // lays out the action area
        action.mouseMove (mouseEvent (action, action.getActionArea().getCentre().toFloat()));

        auto& title = sheet.own (std::make_unique<SectionTitle> ("Filter"));
        title.setSize (200, 44);
        title.setStatusText ("Bypassed");
        sheet.place (title, row, modulated);
    }
    {
        const int row = sheet.addRow ("Bypassable panel", 190);

        for (int s : { (int) idle, (int) disabled })
        {
            auto& panel = sheet.own (std::make_unique<BypassablePanel> ("Drive"));
            panel.setSize (420, 150);
            sheet.place (panel, row, s == idle ? idle : pressed);

            auto& knobs = sheet.own (std::make_unique<KnobRow> (0));
            std::vector<juce::Component*> children;

            for (auto* caption : { "Amount", "Mix", "Fdbk", "Tone" })
            {
                auto& knob = sheet.own (std::make_unique<Knob> (0, false, false));
                knob.setLabelText (caption);
                knob.setValue (0.3 + 0.15 * (double) children.size(), juce::dontSendNotification);
                knob.setValueFormatter ([] (double v) { return juce::String (juce::roundToInt (v * 100)) + " %"; });
                children.push_back (&knob);
            }

            knobs.setKnobs (children);
            panel.addAndMakeVisible (knobs);
            knobs.setBounds (20, 40, 380, 100);
            panel.addBypassableChild (&knobs);
            panel.setPanelEnabled (s == idle);
        }

        auto& frame = sheet.own (std::make_unique<SectionFrame>());
        frame.setSize (200, 190);
        sheet.place (frame, row, modulated);

        auto& field = sheet.own (std::make_unique<FieldBox> ("Phase"));
        auto& dropdown = sheet.own (std::make_unique<ChoiceDropdown> (proc.state, "wave", "Phase mode"));
        dropdown.setCompact (true);
        frame.addAndMakeVisible (field);
        field.setBounds (12, 8, 176, 96);
        field.setContent (&dropdown);

        auto& inlineField = sheet.own (std::make_unique<FieldBox> ("Route"));
        auto& segments = sheet.own (std::make_unique<SegmentedControl> (proc.choice ("wave"), juce::StringArray { "drv", "cln" }));
        segments.setGap (1);
        frame.addAndMakeVisible (inlineField);
        inlineField.setFlag (true);
        inlineField.setBounds (12, 112, 176, 66);
        inlineField.setContent (&segments);

        probes.push_back ({ "frame fill", frame.getPosition() + juce::Point<int> (6, 180),
                            theme.getColour (ColourId::surface), 1 });
    }

    sheet.setSize (labelColumn + numStates * cellWidth + 12, sheet.getContentHeight());
    const auto image = paintToImage (sheet);

    for (auto& release : releases)
        release();

    const juce::File outDir (QUILLON_TEST_OUTPUT_DIR);
    ASSERT_TRUE (outDir.createDirectory());
    const auto file = outDir.getChildFile ("widget-sheet.png");
    file.deleteFile();
    {
        juce::FileOutputStream out (file);
        ASSERT_TRUE (out.openedOk());
        ASSERT_TRUE (juce::PNGImageFormat().writeImageToStream (image, out));
    }
    EXPECT_GT (file.getSize(), 10000);
    std::cout << "widget sheet: " << file.getFullPathName() << std::endl;

    EXPECT_TRUE (coloursClose (image.getPixelAt (2, 2), theme.getColour (ColourId::ground)));

    for (const auto& probe : probes)
    {
        auto found = coloursClose (image.getPixelAt (probe.at.x, probe.at.y), probe.expected, probe.tolerance);

        for (int dy = -probe.radius; dy <= probe.radius && ! found; ++dy)
            for (int dx = -probe.radius; dx <= probe.radius && ! found; ++dx)
                found = coloursClose (image.getPixelAt (probe.at.x + dx, probe.at.y + dy), probe.expected, probe.tolerance);

        EXPECT_TRUE (found) << probe.what << " at " << probe.at.toString();
    }

    const auto greenest = [&image] (juce::Point<int> at)
    {
        int green = 0;

        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx)
                green = juce::jmax (green, (int) image.getPixelAt (at.x + dx, at.y + dy).getGreen());

        return green;
    };

    const auto accentGreen = (int) theme.getColour (ColourId::accent).getGreen();

    for (const auto& probe : blinkProbes)
    {
        EXPECT_GE (greenest (probe.idleArc), accentGreen - 3) << probe.what;
        EXPECT_LE (greenest (probe.armedArc), (float) accentGreen * 0.75f + 0.25f * 110.0f) << probe.what;
        EXPECT_GE (greenest (probe.armedArc), (float) accentGreen * 0.75f) << probe.what;
    }
}
