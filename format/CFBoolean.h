#pragma once
// The two immortal boolean values.
//
// Threads: [control], unless a declaration says otherwise (see CFBase.h).

#include "format/CFBase.h"

extern "C" {

extern const CFBooleanRef kCFBooleanTrue;
extern const CFBooleanRef kCFBooleanFalse;

CFTypeID CFBooleanGetTypeID(void);
// The truth value; false for null or a non-boolean.
Boolean CFBooleanGetValue(CFBooleanRef boolean);

}  // extern "C"
