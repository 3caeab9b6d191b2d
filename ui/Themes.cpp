#include "Themes.h"
#include "ui/Settings.h"
#include "plugin/SafeInput.h"

#include "plugin/Palette.h"
#include "widgets/Frames.h"

namespace quillon::ui
{

const std::array<BuiltInTheme, numBuiltInThemes> builtInThemes { {
    { "dark", "Dark", { 0x0b0b0a, 0x131617, 0x1c2122, 0x070808, 0x556266, 0xd7ff37, 0xf2f4e8, 0xc5cdd3,
          0x97a4ad, 0x586264, 0xc8f500, 0xedff77, 0xd7ff37, 0x1a2700, 0x55b9ff, 0xff7a1a,
          0xff3c77, 0xffb23e, 0xff5e6c, 0xf2f4e8, 0xa8b2be, 0x39d4ff, 0xff6ac1, 0xc8f500,
          0x7ab8ff, 0xb98cff, 0x1c2122, 0x263032, 0x7a898e, 0xc8f500, 0xf2f4e8, 0xc8f500 } },
    { "velvetReactor", "Velvet Reactor", { 0x130018, 0x1f0028, 0x2a0035, 0x0a0010, 0x7e5e88, 0xd7ff37, 0xeee4f2, 0xc8b8d0,
          0x988ca5, 0x605068, 0xbf6bff, 0xe3c5ff, 0xd89aff, 0x281245, 0x55b9ff, 0xff7a1a,
          0xff3c77, 0xffb23e, 0xff5e6c, 0xf2f4e8, 0xa8b2be, 0x39d4ff, 0xff6ac1, 0xc8f500,
          0x7ab8ff, 0xb98cff, 0x2a0035, 0x3d004d, 0x988ca5, 0xbf6bff, 0xeee4f2, 0xbf6bff } },
    { "limeAfterimage", "Lime Afterimage", { 0x101800, 0x1a2700, 0x253600, 0x080c00, 0x6e7c2e, 0xd7ff37, 0xeef2e2, 0xc8d0ae,
          0x98a57e, 0x5e6840, 0xc8f500, 0xedff77, 0xd7ff37, 0x2a3d00, 0x55b9ff, 0xff7a1a,
          0xff3c77, 0xffb23e, 0xff5e6c, 0xf2f4e8, 0xa8b2be, 0x39d4ff, 0xff6ac1, 0xc8f500,
          0x7ab8ff, 0xb98cff, 0x253600, 0x344800, 0x98a57e, 0xc8f500, 0xeef2e2, 0xc8f500 } },
    { "dataOrchid", "Data Orchid", { 0x0e0030, 0x18004a, 0x250070, 0x070018, 0x6e5ab0, 0xd7ff37, 0xe8e4f2, 0xbdb5d8,
          0x8c85ab, 0x554f70, 0x9b6fff, 0xcfb5ff, 0xb98cff, 0x1e0f4a, 0x55b9ff, 0xff7a1a,
          0xff3c77, 0xffb23e, 0xff5e6c, 0xf2f4e8, 0xa8b2be, 0x39d4ff, 0xff6ac1, 0xc8f500,
          0x7ab8ff, 0xb98cff, 0x250070, 0x320099, 0x8c85ab, 0x9b6fff, 0xe8e4f2, 0x9b6fff } },
    { "bunkerBloom", "Bunker Bloom", { 0x161616, 0x202020, 0x2d2d2d, 0x0d0d0d, 0x6e6e6e, 0xd7ff37, 0xeeeeee, 0xc5c5c5,
          0x979797, 0x5e5e5e, 0xff6ac1, 0xffb5de, 0xff8fcd, 0x401029, 0x55b9ff, 0xff7a1a,
          0xff3c77, 0xffb23e, 0xff5e6c, 0xf2f4e8, 0xa8b2be, 0x39d4ff, 0xff6ac1, 0xc8f500,
          0x7ab8ff, 0xb98cff, 0x2d2d2d, 0x3d3d3d, 0x979797, 0xff6ac1, 0xeeeeee, 0xff6ac1 } },
    { "terracottaPulse", "Terracotta Pulse", { 0x1a0807, 0x2a1110, 0x3d1b19, 0x0f0504, 0x8a4a40, 0xd7ff37, 0xf2e8e6, 0xd3bbb6,
          0xa28b83, 0x685550, 0xff8a5c, 0xffc5a8, 0xffa77a, 0x44170d, 0x55b9ff, 0xff7a1a,
          0xff3c77, 0xffb23e, 0xff5e6c, 0xf2f4e8, 0xa8b2be, 0x39d4ff, 0xff6ac1, 0xc8f500,
          0x7ab8ff, 0xb98cff, 0x3d1b19, 0x4f2520, 0xa28b83, 0xff8a5c, 0xf2e8e6, 0xff8a5c } },
    { "halogenMint", "Halogen Mint", { 0x001619, 0x002429, 0x00343c, 0x000e10, 0x3f8895, 0xd7ff37, 0xe6f2f0, 0xb0cecc,
          0x7e9f9d, 0x4f6e6c, 0x5ee7c2, 0xb0ffeb, 0x92f4d2, 0x082e26, 0x55b9ff, 0xff7a1a,
          0xff3c77, 0xffb23e, 0xff5e6c, 0xf2f4e8, 0xa8b2be, 0x39d4ff, 0xff6ac1, 0xc8f500,
          0x7ab8ff, 0xb98cff, 0x00343c, 0x00444e, 0x7e9f9d, 0x5ee7c2, 0xe6f2f0, 0x5ee7c2 } },
    { "saffronStatic", "Saffron Static", { 0x1a1100, 0x261900, 0x382500, 0x0d0800, 0x7a551e, 0xd7ff37, 0xf2ede0, 0xd3c7a5,
          0xa59070, 0x6b5840, 0xffc857, 0xffe19e, 0xffd685, 0x3a2700, 0x55b9ff, 0xff7a1a,
          0xff3c77, 0xffb23e, 0xff5e6c, 0xf2f4e8, 0xa8b2be, 0x39d4ff, 0xff6ac1, 0xc8f500,
          0x7ab8ff, 0xb98cff, 0x382500, 0x4a3300, 0xa59070, 0xffc857, 0xf2ede0, 0xffc857 } },
    { "cobaltCathedral", "Cobalt Cathedral", { 0x070c1f, 0x101933, 0x1a2a52, 0x03060f, 0x4a6395, 0xd7ff37, 0xe6edf4, 0xb5c0d8,
          0x8294b0, 0x505c70, 0x4f8fff, 0xb5d0ff, 0x97bbff, 0x0a1f44, 0x55b9ff, 0xff7a1a,
          0xff3c77, 0xffb23e, 0xff5e6c, 0xf2f4e8, 0xa8b2be, 0x39d4ff, 0xff6ac1, 0xc8f500,
          0x7ab8ff, 0xb98cff, 0x1a2a52, 0x243669, 0x8294b0, 0x4f8fff, 0xe6edf4, 0x4f8fff } },
    { "oxbloodTape", "Oxblood Tape", { 0x180408, 0x26060c, 0x380a12, 0x0d0205, 0x9b3d4d, 0xd7ff37, 0xf2e8e8, 0xd8b5b5,
          0xa88282, 0x6b5050, 0xe54a5c, 0xffa8b0, 0xff7a8a, 0x2d050a, 0x55b9ff, 0xff7a1a,
          0xff3c77, 0xffb23e, 0xff5e6c, 0xf2f4e8, 0xa8b2be, 0x39d4ff, 0xff6ac1, 0xc8f500,
          0x7ab8ff, 0xb98cff, 0x380a12, 0x4f0e18, 0xa88282, 0xe54a5c, 0xf2e8e8, 0xe54a5c } },
    { "forestCassette", "Forest Cassette", { 0x081a08, 0x122a12, 0x1f3d1b, 0x040d04, 0x4d7e45, 0xd7ff37, 0xe8f2e6, 0xbed5b5,
          0x88a582, 0x506850, 0xa8ff60, 0xd5ffa0, 0xc0ff80, 0x1a3505, 0x55b9ff, 0xff7a1a,
          0xff3c77, 0xffb23e, 0xff5e6c, 0xf2f4e8, 0xa8b2be, 0x39d4ff, 0xff6ac1, 0xc8f500,
          0x7ab8ff, 0xb98cff, 0x1f3d1b, 0x2a4f22, 0x88a582, 0xa8ff60, 0xe8f2e6, 0xa8ff60 } },
    { "saveIcon", "Save Icon", { 0x0a1428, 0x132238, 0x1f3354, 0x05091a, 0x6e89b0, 0xd7ff37, 0xe8f1fb, 0xb8c7de,
          0x8497b5, 0x4f5c76, 0x4fb5ff, 0xa7d8ff, 0xffd24a, 0x062046, 0x55b9ff, 0xff7a1a,
          0xff3c77, 0xffb23e, 0xff5e6c, 0xf2f4e8, 0xa8b2be, 0x39d4ff, 0xff6ac1, 0xc8f500,
          0x7ab8ff, 0xb98cff, 0x1f3354, 0x2a446e, 0x8fa3c0, 0x4fb5ff, 0xe8f1fb, 0xff7a1a } },
    { "mossEra", "Moss Era", { 0x1a1815, 0x252320, 0x3d3a30, 0x100e0b, 0x9c9072, 0xd7ff37, 0xf5efdd, 0xd2c8ae,
          0x9f947a, 0x645a48, 0xffaa3a, 0xffd58a, 0xff6534, 0x3d2a0a, 0x55b9ff, 0xff7a1a,
          0xff3c77, 0xffb23e, 0xff5e6c, 0xf2f4e8, 0xa8b2be, 0x39d4ff, 0xff6ac1, 0xc8f500,
          0x7ab8ff, 0xb98cff, 0x3d3a30, 0x4f4b3f, 0xb0a485, 0xffaa3a, 0xf5efdd, 0xffaa3a } },
    { "vaporPlinth", "Vapor Plinth", { 0x12082a, 0x1e1042, 0x2d1b5c, 0x080018, 0x7c68c8, 0xd7ff37, 0xf6e8ff, 0xc8b5e2,
          0x9685b5, 0x60547a, 0xff7baa, 0xffb8d4, 0x7de3ff, 0x3d0828, 0x55b9ff, 0xff7a1a,
          0xff3c77, 0xffb23e, 0xff5e6c, 0xf2f4e8, 0xa8b2be, 0x39d4ff, 0xff6ac1, 0xc8f500,
          0x7ab8ff, 0xb98cff, 0x2d1b5c, 0x3f2980, 0x9e85d6, 0xff7baa, 0xf6e8ff, 0xff7baa } },
    { "dcwWindow", "DCW Window", { 0x10161a, 0x192026, 0x252d34, 0x070a0d, 0x6f8088, 0xd7ff37, 0xe8f0f2, 0xb5c2c8,
          0x8898a0, 0x556068, 0x4de57a, 0xa0f4b8, 0xe63125, 0x0a2d1a, 0x55b9ff, 0xff7a1a,
          0xff3c77, 0xffb23e, 0xff5e6c, 0xf2f4e8, 0xa8b2be, 0x39d4ff, 0xff6ac1, 0xc8f500,
          0x7ab8ff, 0xb98cff, 0x252d34, 0x303a43, 0x8898a0, 0x4de57a, 0xe8f0f2, 0x4de57a } },
    { "mossEraDay", "Moss Era Day", { 0xe5dac0, 0xefe5c9, 0xddd2b5, 0xfaf6ea, 0x8a7a55, 0x5f8000, 0x1f1b14, 0x4d442a,
          0x7d6f4f, 0xb5a789, 0xa65a00, 0x4d2200, 0xc42e1f, 0xffe9b5, 0x1e5c99, 0xc24a00,
          0xb0156d, 0x8c6a00, 0xb5151e, 0x2a1f0e, 0x6b5f47, 0x006b8c, 0x9b1a6b, 0x6b7300,
          0x1b4f8a, 0x5f2b9c, 0xddd2b5, 0xecddb0, 0x8a7a55, 0xa65a00, 0x1f1b14, 0xa65a00 } },
    { "saveIconSticker", "Save Icon Sticker", { 0xeceef2, 0xf5f6f9, 0xdde2ea, 0xfcfdff, 0x8898b0, 0x0058c9, 0x0e1828, 0x2d405a,
          0x5c6e88, 0x95a2b5, 0x0073b5, 0x003d6e, 0xe6a500, 0xb8dcf5, 0x1b5c9a, 0xb85100,
          0xa4156d, 0xb07000, 0xc71b25, 0x1a2438, 0x5c6b85, 0x006a92, 0xb12873, 0x4f7000,
          0x143f7a, 0x4c1f92, 0xdde2ea, 0xeaeff5, 0x8898b0, 0x0073b5, 0x0e1828, 0x0073b5 } },
    { "vaporDaydream", "Vapor Daydream", { 0xfce9e0, 0xfef1ed, 0xf5d6cc, 0xfffcfb, 0xb07898, 0xc8156f, 0x2b1340, 0x5a2d7f,
          0x8055a8, 0xb89dcc, 0xd62a8a, 0x5c0f3a, 0x1fa0cc, 0xffd8e8, 0x1a85b0, 0xc24a1a,
          0xb0156d, 0xb57000, 0xb81525, 0x1f1338, 0x6f5588, 0x006d8e, 0xb0156d, 0x6e7800,
          0x1b4fa0, 0x5a1b9f, 0xf5d6cc, 0xffe5dc, 0xb07898, 0xd62a8a, 0x2b1340, 0xd62a8a } },
} };

namespace
{
    struct ThemeGroup
    {
        const char* name;
        std::initializer_list<const char*> keys;
    };

    // Group and key order is the theme-slot order.
    const std::array<ThemeGroup, 7>& themeGroups()
    {
        static const std::array<ThemeGroup, 7> groups { {
            { "bg", { "ground", "surface", "surface2", "panel" } },
            { "border", { "hair", "focus" } },
            { "text", { "primary", "secondary", "tertiary", "disabled" } },
            { "accent", { "primary", "primaryText", "hero", "selection", "modRing", "ember", "live" } },
            { "semantic", { "warn", "error" } },
            { "source", { "velocity", "key", "modwheel", "aftertouch", "lfo1", "dcw1", "dcw2" } },
            { "control", { "fill", "fillActive", "border", "borderHover", "text", "value" } },
        } };
        return groups;
    }

    void visitDepthFirst (juce::Component& c, const std::function<void (juce::Component&)>& visit)
    {
        visit (c);
        for (auto* child : c.getChildren())
            visitDepthFirst (*child, visit);
    }
} // namespace

const BuiltInTheme& darkTheme()
{
    return builtInThemes[0];
}

const BuiltInTheme* findBuiltInTheme (const juce::String& themeId)
{
    const auto index = builtInThemeIndex (themeId);
    return index > 0 ? &builtInThemes[(size_t) index - 1] : nullptr;
}

int builtInThemeIndex (const juce::String& themeId)
{
    const auto id = themeId == "untitled" ? juce::String ("velvetReactor") : themeId;
    for (size_t i = 0; i < builtInThemes.size(); ++i)
        if (id == builtInThemes[i].id)
            return (int) i + 1;
    return 0;
}

const std::array<int, 32>& themeSlots()
{
    static const std::array<int, 32> slots = []
    {
        std::array<int, 32> s {};
        size_t n = 0;
        for (int slot = 0; slot < palette::numSlots; ++slot)
            if (palette::isThemeSlot (slot))
                s[n++] = slot;
        return s;
    }();
    return slots;
}

void applyThemeRecord (const BuiltInTheme& theme)
{
    for (size_t i = 0; i < 32; ++i)
        palette::set (themeSlots()[i], juce::Colour (0xff000000u | theme.colours[i]));
}

bool applyBuiltInTheme (const juce::String& themeId)
{
    if (const auto* theme = findBuiltInTheme (themeId))
    {
        applyThemeRecord (*theme);
        return true;
    }
    return false;
}

void readThemeColour (const juce::var& json, const juce::String& group, const juce::String& key, int slot)
{
    const auto groupValue = json.getProperty (juce::Identifier (group), {});
    if (! groupValue.isObject())
        return;

    const auto* obj = groupValue.getDynamicObject();
    if (obj == nullptr || ! obj->hasProperty (juce::Identifier (key)))
        return;

    auto text = obj->getProperty (juce::Identifier (key)).toString().trim();
    if (text.startsWithChar ('#'))
        text = text.substring (1);

    if (text.length() == 6)
        palette::set (slot, juce::Colour (0xff000000u | (juce::uint32) text.getHexValue32()));
    else if (text.length() == 8)
        palette::set (slot, juce::Colour ((juce::uint32) text.getHexValue32()));
}

bool parseThemeJson (const juce::var& json, juce::String* error)
{
    if (! json.isObject() || json.getDynamicObject() == nullptr)
    {
        if (error != nullptr)
            *error = "Theme JSON must be an object.";
        return false;
    }

    applyThemeRecord (darkTheme());

    size_t n = 0;
    for (const auto& group : themeGroups())
        for (const auto* key : group.keys)
            readThemeColour (json, group.name, key, themeSlots()[n++]);
    return true;
}

bool loadThemeFile (const juce::File& file, juce::String* fileText, juce::String* error)
{
    juce::var json;
    juce::String text, reason;

    if (! input::readJsonFile (file, json, &text, &reason))
    {
        if (error != nullptr)
            *error = reason;
        return false;
    }

    if (! parseThemeJson (json, error))
        return false;

    if (fileText != nullptr)
        *fileText = text;
    return true;
}

bool applyStoredThemeJson (const juce::String& text)
{
    juce::var json;
    return input::readJson (text, json) && parseThemeJson (json);
}

namespace
{
    juce::Identifier paletteBindingKey (int colourId)
    {
        return "quillon.palette." + juce::String::toHexString (colourId);
    }

    void applyPaletteColour (juce::Component& component, int colourId, juce::Colour colour)
    {
        if (colourId == emptyTextColourId)
        {
            if (auto* editor = dynamic_cast<juce::TextEditor*> (&component))
                editor->setTextToShowWhenEmpty (editor->getTextToShowWhenEmpty(), colour);
            return;
        }

        component.setColour (colourId, colour);
    }

    /** Re-applies the colours given with setPaletteColour; true when the text colour is one of them. */
    bool applyPaletteBindings (juce::Component& component)
    {
        bool textBound = false;
        const auto& properties = component.getProperties();

        for (int i = 0; i < properties.size(); ++i)
        {
            const auto name = properties.getName (i).toString();
            if (! name.startsWith ("quillon.palette."))
                continue;

            const auto colourId = name.fromLastOccurrenceOf (".", false, false).getHexValue32();
            const auto& binding = properties.getValueAt (i);
            const auto colour = palette::get ((int) binding[0]).withAlpha ((float) (double) binding[1]);
            applyPaletteColour (component, colourId, colour);
            textBound = textBound || colourId == juce::Label::textColourId;
        }

        return textBound;
    }
} // namespace

void setPaletteColour (juce::Component& component, int colourId, int slot, float alpha)
{
    juce::Array<juce::var> binding { slot, (double) alpha };
    component.getProperties().set (paletteBindingKey (colourId), binding);
    applyPaletteColour (component, colourId, palette::get (slot).withAlpha (alpha));
}

void applyPaletteToTree (juce::Component& root)
{
    visitDepthFirst (root, [] (juce::Component& c)
    {
        const bool textBound = applyPaletteBindings (c);

        if (auto* box = dynamic_cast<juce::ComboBox*> (&c))
        {
            // The box hands this colour to the label it shows its text in.
            box->setColour (juce::ComboBox::textColourId, palette::get (palette::controlText));
        }
        else if (auto* label = dynamic_cast<juce::Label*> (&c))
        {
            if (! textBound && dynamic_cast<juce::ComboBox*> (label->getParentComponent()) == nullptr)
            {
                const auto text = label->getText().trim();
                label->setColour (juce::Label::textColourId,
                                  palette::get (text == text.toUpperCase() ? palette::textSecondary : palette::textTertiary));
            }
        }
        else if (auto* editor = dynamic_cast<juce::TextEditor*> (&c))
        {
            // Typed text keeps the colour it was typed in.
            editor->applyColourToAllText (editor->findColour (juce::TextEditor::textColourId), true);
        }
        else if (auto* frame = dynamic_cast<larkspur::widgets::SectionFrame*> (&c))
        {
            frame->setFillColourId (1);
            frame->setBorderColourId (4);
        }
    });
}

juce::String themeTemplateText()
{
    juce::StringArray lines { "{", "  \"name\": \"Custom\"," };
    const auto& dark = darkTheme();
    size_t n = 0;
    const auto& groups = themeGroups();

    for (size_t g = 0; g < groups.size(); ++g)
    {
        juce::StringArray members;
        for (const auto* key : groups[g].keys)
            members.add ("\"" + juce::String (key) + "\": \"#"
                         + juce::String::toHexString ((int) dark.colours[n++]).paddedLeft ('0', 6).toLowerCase() + "\"");

        lines.add ("  \"" + juce::String (groups[g].name) + "\": { " + members.joinIntoString (", ") + " }"
                   + (g + 1 < groups.size() ? "," : ""));
    }

    lines.add ("}");
    return lines.joinIntoString ("\n");
}

juce::File defaultThemesFolder()
{
    return productFolder().getChildFile ("Themes");
}

juce::File prepareThemesFolder (const juce::File& folder)
{
    // Only a new folder gets the template, so a user who deleted it is not pestered with it again.
    if (! folder.exists() && folder.createDirectory())
        folder.getChildFile (themeTemplateFileName).replaceWithText (themeTemplateText(), false, false, "\r\n");
    return folder;
}

} // namespace quillon::ui
