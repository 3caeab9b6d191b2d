// The standalone program's device manager offers JACK beside ALSA; neither needs a running server
// or a sound card just to be listed.

#include <gtest/gtest.h>
#include <juce_audio_devices/juce_audio_devices.h>

TEST (StandaloneAudio, OffersAlsaAndJack)
{
    juce::AudioDeviceManager manager;
    juce::StringArray types;
    for (auto* type : manager.getAvailableDeviceTypes())
        types.add (type->getTypeName());

    EXPECT_TRUE (types.contains ("ALSA")) << types.joinIntoString (", ");
    EXPECT_TRUE (types.contains ("JACK")) << types.joinIntoString (", ");
}
