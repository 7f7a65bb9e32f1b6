// lstrcmpiA held to what Wine's conformance tests expect of Windows:
// dlls/kernel32/tests/locale.c of wine-mirror/wine, commit
// 00580f7d6bd7547731e1d399bc82abee22803157. lstrcmpiA is CompareStringA of
// the user's locale with NORM_IGNORECASE, less 2; the comparisons of
// test_CompareStringA whose answer is not decided by letter case alone (and
// that take whole strings, without SORT_STRINGSORT) are held here as
// lstrcmpiA's answers. Each names the line (locale.c:N) of its expectation.
#include <gtest/gtest.h>

#include "platform/win32.h"

namespace {

struct Pair {
  const char* first;
  const char* second;
  int expected;  // -1, 0 or 1
  int line;
};

// Punctuation before digits before letters; a hyphen or an apostrophe counts
// only where all else is equal.
const Pair kPairs[] = {
    // comparestringa_data, checked at locale.c:1917
    {"EndDialog", "_Property", 1, 1842},
    {"osp_vba.sreg0070", "_IEWWBrowserComp", 1, 1843},
    {"r", "\\", 1, 1844},
    {"osp_vba.sreg0031", "OriginalDatabase", 1, 1845},
    {"AAA", "aab", -1, 1847},
    {"AAA", "Aab", -1, 1848},
    {".AAA", "Aab", -1, 1849},
    {".AAA", "A.ab", -1, 1850},
    {"aa", "AB", -1, 1851},
    {"aa", "Aab", -1, 1852},
    {"aB", "Aab", 1, 1853},
    {"Ba", "bab", -1, 1854},
    {"{100}{83}{71}{71}{71}", "Global_DataAccess_JRO", -1, 1855},
    {"a", "{", 1, 1856},
    {"A", "{", 1, 1857},
    {"", "4.0", -1, 1858},  // "3.5" taken zero characters long
    {"3.5", "4.0", -1, 1859},
    {"3.520.4403.2", "4.0.2927.10", -1, 1860},
    {"-o", "/m", 1, 1862},
    {"/m", "-o", -1, 1863},
    {"'o", "/m", 1, 1866},
    {"/m", "'o", -1, 1867},
    // the calls of test_CompareStringA that follow the table
    {"Salut", "Salute", -1, 1923},
    {"Salut", "SaLuT", 0, 1926},
    {"Salut", "hola", 1, 1929},
    {"haha", "hoho", -1, 1932},
    {"haha", "hoho", -1, 1937},
    {"haha", "", 1, 1940},  // "hoho" taken zero characters long
    {"Salut", "saLuT", 0, 1943},
    {"'o", "-o", -1, 1958},
    {"'", "-", -1, 1964},
    {"`o", "/m", 1, 1970},
    {"/m", "`o", -1, 1973},
    {"`o", "-m", -1, 1982},
    {"-m", "`o", 1, 1985},
    {"a\0b", "a", 0, 2001},
    {"#", ".", -1, 2012},
    {"_", ".", 1, 2015},
    {"#", ".", -1, 2018},  // lstrcmpiA itself
};

TEST(LocaleConformance, CompareIgnoringCaseOrdersAsWindowsSorts) {
  for (const Pair& p : kPairs) {
    EXPECT_EQ(lstrcmpiA(p.first, p.second), p.expected)
        << "locale.c:" << p.line << ": \"" << p.first << "\" against \"" << p.second << "\"";
  }
}

TEST(LocaleConformance, ControlCharactersAreNotEqual) {
  EXPECT_NE(lstrcmpiA("\2", "\1"), 0);  // locale.c:2009
}

// The layer's own account, beyond Wine's cases.
TEST(LocaleConformance, WhatTheLayerDecidesWhereWineChecksNothing) {
  // Every character that is not ASCII comes after the letters, in code order.
  EXPECT_LT(lstrcmpiA("z", "ｱ"), 0);
  EXPECT_LT(lstrcmpiA("Z", "ゲーム"), 0);
  EXPECT_LT(lstrcmpiA("ｱ", "ア"), 0);           // a half-width katakana (one byte) before any double-byte character
  EXPECT_EQ(lstrcmpiA("ＡＢＣ", "ａｂｃ"), 0);  // full-width letters fold too
  // Hyphens and apostrophes count only where all else is equal: the string
  // without one first, then the one whose comes earlier, then the apostrophe.
  EXPECT_LT(lstrcmpiA("coop", "co-op"), 0);
  EXPECT_LT(lstrcmpiA("-ab", "a-b"), 0);
  EXPECT_LT(lstrcmpiA("a'b", "a-b"), 0);
  EXPECT_EQ(lstrcmpiA("CO-OP", "co-op"), 0);
  EXPECT_GT(lstrcmpiA("co-opa", "coop"), 0);  // the letters decide first
}

}  // namespace
