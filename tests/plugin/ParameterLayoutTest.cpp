#include "plugin/Parameters.h"
#include "plugin/PluginProcessor.h"

#include <gtest/gtest.h>

TEST (ParameterLayout, placeholder)
{
    QuillonAudioProcessor processor;
    EXPECT_EQ (processor.getParameters().size(), 103);
}
