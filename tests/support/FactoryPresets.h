#pragma once

#include "plugin/Catalogue.h"

namespace quillon::test
{

// The file name of the factory preset at `index`, counted across the categories in manifest
// order; empty past the last.
inline juce::String factoryPresetFile (int index)
{
    const auto catalogue = quillon::presets::Catalogue::loadEmbedded();
    int i = 0;
    for (const auto& category : catalogue.categories)
        for (const auto& entry : category.entries)
            if (i++ == index)
                return entry.xml;
    return {};
}

} // namespace quillon::test
