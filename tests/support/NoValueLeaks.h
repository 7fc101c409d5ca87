#pragma once

#include <gtest/gtest.h>

#include <initializer_list>

#include "format/CFBase.h"
#include "format/CFString.h"

namespace marvex::test {

inline CFStringRef Str(const char* text) {
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}

inline void ReleaseAll(std::initializer_list<CFTypeRef> values) {
    for (CFTypeRef v : values) CFRelease(v);
}

// A fixture for tests that make property-list values: each must give back what it made.
class NoValueLeaks : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(LiveValueCount(), mLiveBefore) << "values leaked"; }

private:
    long mLiveBefore = LiveValueCount();
};

}  // namespace marvex::test
