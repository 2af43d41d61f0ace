#pragma once

// A signal-processing header that reaches up into the windows: the layer
// check must refuse it.
#include "analysis/TSignal.h"
#include "windows/EcgReviewWindow.h"
