#pragma once

// The whole codec: state, writers and readers.
#include "CborDecoder.h"
#include "CborEncoder.h"
#include "CborState.h"
