#pragma once

// A beats header that reaches up into the detector above it and into the
// windows: the layer check must refuse both.
#include "analysis/detection/TQrsDetector.h"
#include "analysis/signal/TSignal.h"
#include "windows/EcgReviewWindow.h"
