// Enumeration strings of the five services and the wire boolean, through the
// generated converters. The expected tables are written out here on purpose:
// a typo in the service definition shows up as a mismatch.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "ocamH.h"
#include "wire_context.h"

namespace ocamera_test {
namespace {

using Pairs = std::vector<std::pair<long, const char *>>;

// One wire enumeration: its converters (taking and giving the ordinal as long)
// and the table as the services spell it, in lookup order.
struct EnumTable {
  const char *type;
  const char *(*toString)(soap *, long);
  int (*fromString)(soap *, const char *, long *);
  Pairs pairs;
  long largest;
};

#define OCAM_ENUM_CONVERTERS(T)                                                   \
  [](soap *s, long n) { return ocam::soap_##T##2s(s, static_cast<ocam::T>(n)); }, \
      [](soap *s, const char *text, long *out) {                                  \
        auto value = static_cast<ocam::T>(*out);                                  \
        const int rc = ocam::soap_s2##T(s, text, &value);                         \
        *out = static_cast<long>(value);                                          \
        return rc;                                                                \
      }

const std::vector<EnumTable> &allTables() {
  static const std::vector<EnumTable> tables = {
      {"rdev:eAccess",
       OCAM_ENUM_CONVERTERS(rdev__eAccess),
       {{1, "SERVICE-READ"},
        {2, "SERVICE-WRITE"},
        {3, "SERVICE-READ-WRITE"},
        {7, "SERVICE-EXCLUSIVE"}},
       7},
      {"scam:eCameraType",
       OCAM_ENUM_CONVERTERS(scam__eCameraType),
       {{3, "CAM-TYPE-MT9V403"},
        {4, "CAM-TYPE-GENERIC"},
        {5, "CAM-TYPE-IBIS1300"},
        {6, "CAM-TYPE-MT9V022"}},
       6},
      {"scam:eAcqMode",
       OCAM_ENUM_CONVERTERS(scam__eAcqMode),
       {{1, "ACQ-MODE-STOP"},
        {2, "ACQ-MODE-SINGLE-SHOT"},
        {3, "ACQ-MODE-FREE-RUN"},
        {4, "ACQ-MODE-SELECT-SHOT"},
        {8, "ACQ-MODE-FREE-RUN-SLAVE"},
        {11, "ACQ-MODE-FREE-RUN-SLAVE-STOP"}},
       11},
      {"scam:eTrigSource",
       OCAM_ENUM_CONVERTERS(scam__eTrigSource),
       {{1, "TRIG-SRC-SOFTWARE"}, {2, "TRIG-SRC-EXTERNAL-E0"}, {3, "TRIG-SRC-EXTERNAL-E1"}},
       3},
      {"scam:eTrigPolarity",
       OCAM_ENUM_CONVERTERS(scam__eTrigPolarity),
       {{1, "TRIG-POL-ACTIVE-HIGH"}, {2, "TRIG-POL-ACTIVE-LOW"}},
       2},
      {"scam:eIllMode",
       OCAM_ENUM_CONVERTERS(scam__eIllMode),
       {{1, "ILL-MODE-OFF"}, {2, "ILL-MODE-NORMAL"}, {3, "ILL-MODE-PULSED"}},
       3},
      {"scam:eIllModeExt",
       OCAM_ENUM_CONVERTERS(scam__eIllModeExt),
       {{0, "ILL-MODE-EXT-OFF"}, {1, "ILL-MODE-EXT-ON-POSITIVE"}, {2, "ILL-MODE-EXT-ON-NEGATIVE"}},
       2},
      {"scam:eFrequency",
       OCAM_ENUM_CONVERTERS(scam__eFrequency),
       {{0, "FREQU-20MHz"}, {1, "FREQU-40MHz"}, {2, "FREQU-50MHz"}, {3, "FREQU-60MHz"}},
       3},
      {"scam:eJPEGQuality",
       OCAM_ENUM_CONVERTERS(scam__eJPEGQuality),
       {{0, "JPEG-QUALITY-LOW"},
        {1, "JPEG-QUALITY-MEDIUM"},
        {2, "JPEG-QUALITY-GOOD"},
        {3, "JPEG-QUALITY-EXCELLENT"}},
       3},
      {"scam:ePointPriority",
       OCAM_ENUM_CONVERTERS(scam__ePointPriority),
       {{0, "PRIO-FIRST-POINT"},
        {1, "PRIO-LAST-POINT"},
        {2, "PRIO-LARGEST-FIRST"},
        {3, "PRIO-LARGEST-LAST"}},
       3},
      {"scam:eProfileDirection",
       OCAM_ENUM_CONVERTERS(scam__eProfileDirection),
       {{0, "DIRECTION-TOP-DOWN"}, {1, "DIRECTION-BOTTOM-UP"}},
       1},
      {"scam:eLaserOutputFormat",
       OCAM_ENUM_CONVERTERS(scam__eLaserOutputFormat),
       {{4, "LASER-OUTPUT-16-4"},
        {16, "LASER-OUTPUT-8-0"},
        {17, "LASER-OUTPUT-8-1"},
        {18, "LASER-OUTPUT-8-2"},
        {19, "LASER-OUTPUT-8-3"},
        {20, "LASER-OUTPUT-8-4"}},
       20},
      {"scam:eFilterType",
       OCAM_ENUM_CONVERTERS(scam__eFilterType),
       {{0, "FILTER-OFF"},
        {1, "FILTER-BINARIZE-ONLY"},
        {2, "FILTER-MEDIAN"},
        {3, "FILTER-MEAN"},
        {4, "FILTER-SNN"},
        {5, "FILTER-SOBEL"},
        {6, "FILTER-RESERVED-1"},
        {7, "FILTER-RESERVED-2"},
        {8, "FILTER-RESERVED-3"}},
       8},
      {"scam:eBayer2XType",
       OCAM_ENUM_CONVERTERS(scam__eBayer2XType),
       {{0, "BAYER-OUTPUT-RAW"},
        {1, "BAYER-OUTPUT-H"},
        {2, "BAYER-OUTPUT-S"},
        {3, "BAYER-OUTPUT-V"},
        {4, "BAYER-OUTPUT-I"},
        {5, "BAYER-OUTPUT-R"},
        {6, "BAYER-OUTPUT-G"},
        {7, "BAYER-OUTPUT-B"}},
       7},
      {"scam:eBayerPattern",
       OCAM_ENUM_CONVERTERS(scam__eBayerPattern),
       {{1, "BAYER-PATTERN-GRGR"},
        {2, "BAYER-PATTERN-BGBG"},
        {3, "BAYER-PATTERN-RGRG"},
        {4, "BAYER-PATTERN-GBGB"}},
       4},
      {"scam:eAppletType",
       OCAM_ENUM_CONVERTERS(scam__eAppletType),
       {{0, "APPLET-IN16-OUT32-INT"},
        {1, "APPLET-IN8-OUT32-INT"},
        {2, "APPLET-IN16-OUT16"},
        {3, "APPLET-IN8-OUT16"}},
       3},
      {"scam:eCorrectionType",
       OCAM_ENUM_CONVERTERS(scam__eCorrectionType),
       {{0, "CORRECTION-REPLACE"},
        {1, "CORRECTION-MASK-AND"},
        {2, "CORRECTION-MASK-OR"},
        {3, "CORRECTION-RESERVED-1"}},
       3},
      {"scam:eSplitType",
       OCAM_ENUM_CONVERTERS(scam__eSplitType),
       {{0, "SPLIT-OFF"}, {1, "SPLIT-RAW"}, {2, "SPLIT-PROCESSED"}},
       2},
      {"sinp:eCameraInput",
       OCAM_ENUM_CONVERTERS(sinp__eCameraInput),
       {{1, "INPUT-I0"},
        {2, "INPUT-I1"},
        {4, "INPUT-I0-RE"},
        {8, "INPUT-I0-FE"},
        {16, "INPUT-I1-RE"},
        {32, "INPUT-I1-FE"},
        {64, "OVERLOAD"},
        {3, "INPUT-ALL"}},
       64},
      {"sout:eCameraOutput",
       OCAM_ENUM_CONVERTERS(sout__eCameraOutput),
       {{1, "OUTPUT-O0"},
        {2, "OUTPUT-O1"},
        {4, "OUTPUT-O2"},
        {8, "OUTPUT-O3"},
        {16, "OUTPUT-OVERLOAD-UNLOCK"},
        {15, "OUTPUT-ALL"}},
       16},
      {"sled:eCameraLED",
       OCAM_ENUM_CONVERTERS(sled__eCameraLED),
       {{1, "LED-0-RED"},
        {2, "LED-0-GREEN"},
        {4, "LED-1-RED"},
        {8, "LED-1-GREEN"},
        {16, "LED-2-RED"},
        {32, "LED-2-YELLOW"},
        {64, "LED-3-RED"},
        {128, "LED-3-YELLOW"},
        {85, "LED-ALL-RED"},
        {10, "LED-ALL-GREEN"},
        {160, "LED-ALL-YELLOW"},
        {255, "LED-ALL"}},
       255},
  };
  return tables;
}

// Decodes `text` with the table's converter; the target starts at `start`.
struct Decoded {
  int rc;
  long value;
  int contextError;
};
Decoded decode(const EnumTable &t, soap *ctx, const char *text, long start = 12345) {
  ctx->error = SOAP_OK;
  long value = start;
  const int rc = t.fromString(ctx, text, &value);
  return {rc, value, ctx->error};
}

class EnumStrings : public ::testing::TestWithParam<EnumTable> {
 protected:
  WireContext ctx_;
};

TEST_P(EnumStrings, EveryPairRoundTripsBothWays) {
  const EnumTable &t = GetParam();
  for (const auto &[ordinal, text] : t.pairs) {
    EXPECT_STREQ(t.toString(ctx_, ordinal), text) << t.type << " ordinal " << ordinal;
    const Decoded d = decode(t, ctx_, text);
    EXPECT_EQ(d.rc, SOAP_OK) << t.type << " " << text;
    EXPECT_EQ(d.value, ordinal) << t.type << " " << text;
  }
}

TEST_P(EnumStrings, TableIsCompleteAndLargestOrdinalIsRight) {
  const EnumTable &t = GetParam();
  long largest = 0;
  for (const auto &pair : t.pairs) largest = std::max(largest, pair.first);
  EXPECT_EQ(largest, t.largest);
  // An ordinal next to the table's range has no string and goes out as a number.
  EXPECT_STREQ(t.toString(ctx_, t.largest + 1), std::to_string(t.largest + 1).c_str());
  EXPECT_STREQ(t.toString(ctx_, -1), "-1");
}

TEST_P(EnumStrings, StringsMatchCaseSensitivelyWithoutTrimming) {
  const EnumTable &t = GetParam();
  for (const auto &[ordinal, text] : t.pairs) {
    std::string lower = text;
    for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const std::string &variant : {lower, " " + std::string(text), std::string(text) + " "}) {
      if (variant == text) continue;  // no letters to lower
      const Decoded d = decode(t, ctx_, variant.c_str());
      EXPECT_EQ(d.rc, SOAP_TYPE) << t.type << " '" << variant << "'";
      EXPECT_EQ(d.contextError, SOAP_TYPE) << t.type << " '" << variant << "'";
    }
  }
}

TEST_P(EnumStrings, NumbersAreRangeCheckedOnlyInStrictMode) {
  const EnumTable &t = GetParam();
  const std::string largest = std::to_string(t.largest);
  const std::string beyond = std::to_string(t.largest + 1);
  struct Case {
    std::string text;
    bool strict;
    int rc;
    long value;  // when rc is SOAP_OK
  };
  const Case cases[] = {
      {largest, false, SOAP_OK, t.largest},
      {largest, true, SOAP_OK, t.largest},
      {"0", true, SOAP_OK, 0},  // within range, though not every table names it
      {beyond, false, SOAP_OK, t.largest + 1},
      {beyond, true, SOAP_TYPE, 0},
      {"-1", false, SOAP_OK, -1},
      {"-1", true, SOAP_TYPE, 0},
      {"+2", false, SOAP_OK, 2},
      {"", false, SOAP_OK, 0},
      {"", true, SOAP_TYPE, 0},
      {"2x", false, SOAP_TYPE, 0},
      {"99999999999", false, SOAP_TYPE, 0},
  };
  for (const Case &c : cases) {
    if (c.strict)
      ctx_->mode |= SOAP_XML_STRICT;
    else
      ctx_->mode &= ~SOAP_XML_STRICT;
    const Decoded d = decode(t, ctx_, c.text.c_str());
    EXPECT_EQ(d.rc, c.rc) << t.type << " '" << c.text << "' strict=" << c.strict;
    if (c.rc == SOAP_OK) {
      EXPECT_EQ(d.value, c.value) << t.type << " '" << c.text << "'";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllTables, EnumStrings, ::testing::ValuesIn(allTables()),
                         [](const auto &info) {
                           std::string name = info.param.type;
                           name.erase(0, name.find(':') + 1);
                           return name;
                         });

TEST(EnumTables, AllTwentyOneWireEnumerationsAreCovered) { EXPECT_EQ(allTables().size(), 21u); }

TEST(EnumStringsSpecialCases, OrdinalsWithoutStringGoOutAsDecimal) {
  WireContext ctx;
  EXPECT_STREQ(ocam::soap_scam__eAcqMode2s(ctx, ocam::scam__eAcqMode__ACQ_MODE_FREE_RUN_SLAVE_STOP),
               "ACQ-MODE-FREE-RUN-SLAVE-STOP");
  EXPECT_STREQ(ocam::soap_scam__eAcqMode2s(ctx, static_cast<ocam::scam__eAcqMode>(5)), "5");
  EXPECT_STREQ(ocam::soap_sinp__eCameraInput2s(ctx, static_cast<ocam::sinp__eCameraInput>(5)), "5");
}

TEST(EnumStringsSpecialCases, CameraTypeSevenDependsOnStrictMode) {
  WireContext ctx;
  auto value = ocam::scam__eCameraType__CAM_TYPE_GENERIC;
  EXPECT_EQ(ocam::soap_s2scam__eCameraType(ctx, "7", &value), SOAP_OK);
  EXPECT_EQ(static_cast<int>(value), 7);
  ctx->mode |= SOAP_XML_STRICT;
  EXPECT_EQ(ocam::soap_s2scam__eCameraType(ctx, "7", &value), SOAP_TYPE);
}

TEST(WireBoolean, OnlyLowerCaseWordsAndZeroOrOne) {
  WireContext ctx;
  struct Case {
    const char *text;
    int rc;
    bool value;
  };
  const Case cases[] = {
      {"true", SOAP_OK, true},    {"false", SOAP_OK, false},   {"1", SOAP_OK, true},
      {"0", SOAP_OK, false},      {"2", SOAP_TYPE, false},     {"-1", SOAP_TYPE, false},
      {"TRUE", SOAP_TYPE, false}, {"False", SOAP_TYPE, false}, {" true", SOAP_TYPE, false},
      {"", SOAP_OK, false},
  };
  for (const Case &c : cases) {
    ctx->error = SOAP_OK;
    bool value = !c.value;
    EXPECT_EQ(ocam::soap_s2bool(ctx, c.text, &value), c.rc) << "'" << c.text << "'";
    if (c.rc == SOAP_OK) {
      EXPECT_EQ(value, c.value) << "'" << c.text << "'";
    }
  }
  EXPECT_STREQ(ocam::soap_bool2s(ctx, true), "true");
  EXPECT_STREQ(ocam::soap_bool2s(ctx, false), "false");
  ctx->mode |= SOAP_XML_STRICT;
  bool value = true;
  EXPECT_EQ(ocam::soap_s2bool(ctx, "2", &value), SOAP_TYPE);
  EXPECT_EQ(ocam::soap_s2bool(ctx, "", &value), SOAP_TYPE);
}

// Reading a request the way a service does: the element's text goes through
// the same converter, and an element without content converts nothing.
TEST(EnumElements, EmptyAndSelfClosingElementsReadAsZero) {
  struct Case {
    const char *eAcq;
    int rc;
    int value;
  };
  const Case cases[] = {
      {"<scam:eAcq>ACQ-MODE-FREE-RUN</scam:eAcq>", SOAP_OK, 3},
      {"<scam:eAcq></scam:eAcq>", SOAP_OK, 0},
      {"<scam:eAcq/>", SOAP_OK, 0},
      {"<scam:eAcq>acq-mode-free-run</scam:eAcq>", SOAP_TYPE, 0},
  };
  for (const Case &c : cases) {
    WireContext ctx;
    std::istringstream in(std::string("<scam:setAcquisitionMode xmlns:scam=\"urn:vdx\">"
                                      "<scam:token>9</scam:token>") +
                          c.eAcq + "</scam:setAcquisitionMode>");
    ctx->is = &in;
    struct ocam::scam__setAcquisitionMode request;
    ocam::soap_default_scam__setAcquisitionMode(ctx, &request);
    ASSERT_EQ(soap_begin_recv(ctx), SOAP_OK);
    ocam::soap_get_scam__setAcquisitionMode(ctx, &request, "scam:setAcquisitionMode", nullptr);
    EXPECT_EQ(ctx->error, c.rc) << c.eAcq;
    if (c.rc == SOAP_OK) {
      EXPECT_EQ(request.token, 9) << c.eAcq;
      EXPECT_EQ(static_cast<int>(request.eAcq), c.value) << c.eAcq;
    }
    soap_end_recv(ctx);
  }
}

}  // namespace
}  // namespace ocamera_test
