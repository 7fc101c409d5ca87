// Tests of the command line's own pieces, without the plug-in: the text needle and the record
// lines other programs read.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "host/TextNeedle.h"
#include "host/cli/RecordWriter.h"

using namespace marvex;

TEST(TextNeedle, PlacesTheMarkAcrossTheBand) {
    EXPECT_EQ(textNeedle(0.0), "[..........*..........]");
    EXPECT_EQ(textNeedle(-23.0), "[.....*....|..........]");
    // Beyond the band at the edge; no reading, no mark.
    EXPECT_EQ(textNeedle(80.0), "[..........|.........>]");
    EXPECT_EQ(textNeedle(std::nan("")), "[..........|..........]");
}

TEST(RecordLine, KeysAndValuesFollowTheContract) {
    BlockRecord record{1024, 300, {2.0f, 440.0f, 441.5f, 427.47f, 440.0f, 452.89f, 48.0f, 0.0625f}};
    EXPECT_EQ(jsonlLine(record),
              "{\"frame\": 1024, \"frames\": 300, \"precision\": 2, \"pitch\": 440, "
              "\"frequency\": 441.5, \"lower\": 427.470001, \"central\": 440, "
              "\"upper\": 452.890015, \"note\": 48, \"deviation\": 0.0625, \"note_name\": \"A4\"}");

    // Values that are not finite numbers, and notes that are not bins, are null.
    const float inf = std::numeric_limits<float>::infinity();
    record.values = {std::nanf(""), inf, -inf, 1.0f, 1.0f, 1.0f, 12.5f, 0.0f};
    EXPECT_EQ(jsonlLine(record),
              "{\"frame\": 1024, \"frames\": 300, \"precision\": null, \"pitch\": null, "
              "\"frequency\": null, \"lower\": 1, \"central\": 1, \"upper\": 1, \"note\": 12.5, "
              "\"deviation\": 0, \"note_name\": null}");

    // CSV leaves them empty.
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = ::open_memstream(&text, &size);
    makeRecordWriter(RecordFormat::Csv, out, 44100.0)->write(record);
    std::fclose(out);
    EXPECT_STREQ(text, "1024,300,,,,1,1,1,12.5,0,\n");
    std::free(text);
}
