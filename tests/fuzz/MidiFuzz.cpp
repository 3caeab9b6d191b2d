// Any MIDI, at any sample positions, over a preset chosen by the input: the output stays finite.

#include "fuzz/FuzzSupport.h"
#include "plugin/Catalogue.h"
#include "plugin/PluginProcessor.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    quillon::fuzz::startFramework();
    constexpr int blockSize = 64;
    auto& processor = quillon::fuzz::lastingProcessor<QuillonAudioProcessor>();
    static const auto catalogue = quillon::presets::Catalogue::loadEmbedded();
    static const auto entries = catalogue.allEntries();
    static const bool prepared = [&processor] { processor.prepareToPlay (48000.0, blockSize); return true; }();
    juce::ignoreUnused (prepared);

    if (size < 1 || entries.empty())
        return 0;

    if (auto xml = quillon::presets::loadFactoryPresetXml (entries[(size_t) data[0] % entries.size()]->xml))
        processor.loadStateTree (*xml);

    juce::AudioBuffer<float> buffer (2, blockSize);
    size_t i = 1;

    // Each event: a sample position, then a status byte and two data bytes; a block ends at a
    // position that goes back.
    for (int block = 0; block < 64 && i < size; ++block)
    {
        juce::MidiBuffer midi;
        int lastPosition = -1;

        while (i + 3 < size)
        {
            const int position = data[i] % blockSize;
            if (position < lastPosition)
                break;
            lastPosition = position;
            const auto status = (juce::uint8) (data[i + 1] | 0x80);
            midi.addEvent (juce::MidiMessage (status, data[i + 2] & 0x7f, data[i + 3] & 0x7f), position);
            i += 4;
        }

        if (i + 3 >= size)
            i = size;

        processor.processBlock (buffer, midi);

        for (int channel = 0; channel < buffer.getNumChannels(); ++channel)
            for (int n = 0; n < blockSize; ++n)
                QUILLON_FUZZ_CHECK (std::isfinite (buffer.getSample (channel, n)));
    }

    // Notes left hanging by one input must not colour the next.
    juce::MidiBuffer allOff;
    allOff.addEvent (juce::MidiMessage::allNotesOff (1), 0);
    processor.processBlock (buffer, allOff);
    return 0;
}
