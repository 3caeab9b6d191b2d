#include <gtest/gtest.h>
#include <juce_audio_processors/juce_audio_processors.h>
TEST (Vst3Host, placeholder) { SUCCEED(); }
