// Placeholder until the converters land: passes text through unchanged.
#include "script/encoding.h"

#include <cstdio>

bool SjisOutput = false;

HString ToEucJp(const char* text) { return HString(text); }
