#include "plugin/PluginProcessor.h"
#include <gtest/gtest.h>
TEST (Realtime, placeholder) { QuillonAudioProcessor p; SUCCEED(); }
