// The value parsers every front end shares: what each kind takes, and that
// everything outside it is an InputError naming the option and the value.
#include <gtest/gtest.h>

#include "tests/TestSupport.h"

#include <functional>
#include <string>

#include "parse/Parse.h"
#include "support/InputError.h"

namespace {

TEST(Parse, EachKindTakesItsFormsExactly) {
    int w = 0, h = 0;
    vparse::ParseSize(" 1600x1000 ", "--size", 320, 16384, w, h);
    EXPECT_EQ(w, 1600);
    EXPECT_EQ(h, 1000);
    EXPECT_EQ(vparse::ParseFraction("1/64", "--zoom"), 1.0 / 64);
    EXPECT_EQ(vparse::ParseFraction("2.5", "--zoom"), 2.5);
    const vparse::Ratio par = vparse::ParseRatio("10/11", "--par", 1, 1000);
    EXPECT_EQ(par.num, 10);
    EXPECT_EQ(par.den, 11);
    EXPECT_EQ(vparse::ParseRatio("2", "--par", 1, 1000).den, 1);
    EXPECT_EQ(vparse::ParseUnsigned64("18446744073709551615", "--seed"), UINT64_MAX);
    EXPECT_EQ(vparse::ParseByteSize("3MiB", "--max-memory"), uint64_t{3} << 20);
    EXPECT_EQ(vparse::ParseCount("7", "--max-pixels"), 7u);
    const vparse::FrameRate ntsc = vparse::ParseFrameRate("29.97", "--fps");
    EXPECT_EQ(ntsc.scale, 2997u);
    EXPECT_EQ(ntsc.step, 100);
}

TEST(Parse, WhatIsOutsideAKindIsAnInputErrorNamingOptionAndValue) {
    int w = 0, h = 0;
    vtest::ExpectInputErrors({
        {"negative width", [&] { vparse::ParseSize("-400x400", "--size", 320, 16384, w, h); }, "--size '-400x400'"},
        {"negative height", [&] { vparse::ParseSize("400x-400", "--size", 320, 16384, w, h); }, "--size '400x-400'"},
        {"size without x", [&] { vparse::ParseSize("400", "--size", 320, 16384, w, h); }, "must be WIDTHxHEIGHT"},
        {"zero denominator", [] { vparse::ParseRatio("4/0", "--par", 1, 1000); }, "--par denominator 0"},
        {"ratio of decimals", [] { vparse::ParseRatio("1.5/1", "--par", 1, 1000); }, "--par numerator '1.5'"},
        {"fraction of words", [] { vparse::ParseFraction("1/x", "--zoom"); }, "--zoom 'x'"},
        {"hexadecimal", [] { vparse::ParseNumber("0x10", "--feather"); }, "--feather '0x10'"},
        {"point past 16.16", [] { double x, y; vparse::ParsePoint("40000,0", "--centre", x, y); }, "(-32767 to 32767"},
        {"negative seed", [] { vparse::ParseUnsigned64("-1", "--seed"); }, "--seed '-1' is out of range"},
        {"seed past 64 bits", [] { vparse::ParseUnsigned64("18446744073709551616", "--seed"); }, "out of range"},
        {"unknown suffix", [] { vparse::ParseByteSize("4Q", "--max-memory"); }, "--max-memory must be a size"},
        {"size past 2^62", [] { vparse::ParseByteSize("99999999T", "--max-memory"); }, "'99999999T'"},
        {"zero count", [] { vparse::ParseCount("0", "--max-pixels"); }, "a whole number above 0, not '0'"},
        {"rate of nothing", [] { vparse::ParseFrameRate("0", "--fps"); }, "--fps 0 is out of range"},
    });
}

}  // namespace
