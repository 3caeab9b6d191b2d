#pragma once

namespace quillon
{

// What the control pass works out for the chain on one base-rate sample; the chain takes it
// up when it reaches that sample. The sources run with the control pass, the chain after
// them over the whole stretch: its long feedback loops then overlap from sample to sample
// instead of waiting behind the oscillators.
struct ChainFrame
{
    float drivePre = 1.0f, drivePost = 1.0f, driveMix = 1.0f, filterBlend = 1.0f, cutoff = 20000.0f;
    float resonance = 0.0f, phaseMix = 0.5f, phaseNotch = 1.0f, phaseSpread = 0.0f;
    float feedbackAmount = 0.0f, feedbackCoefficient = 1.0f, subSend = 1.0f;
    bool feedbackAfterFilter = false;
};

} // namespace quillon
