/* The vendor sample in a GoogleTest test: a failure naming the reason when
 * it cannot be made, so that a missing ffmpeg program is not a silent skip. */
#ifndef KOVA_TESTS_SUPPORT_VENDOR_SAMPLE_TEST_H
#define KOVA_TESTS_SUPPORT_VENDOR_SAMPLE_TEST_H

#include <gtest/gtest.h>

#include <string>

#include "VendorSample.h"

namespace vendor_sample {

/* Default(seconds), or null after a failure. */
inline const Sample *DefaultOrFailure(int seconds)
{
    std::string why;
    const Sample *sample = Default(seconds, &why);
    if (!sample)
        ADD_FAILURE() << why;
    return sample;
}

}  // namespace vendor_sample

#endif
