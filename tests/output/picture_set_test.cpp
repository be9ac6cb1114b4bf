// The names several pictures get in one header or X bitmap, made from awkward file names.
#include "output/picture_set.h"

#include <gtest/gtest.h>
#include <string>

namespace pixelcast {
namespace {

struct NamesRow {
    const char* what;
    QStringList files;
    QStringList expected;
};

class PictureNames : public testing::TestWithParam<NamesRow> {};

TEST_P(PictureNames, AreCIdentifiersMadeUnique)
{
    const NamesRow& row = GetParam();
    EXPECT_EQ(
        pictureNames(row.files, pictureSetNames(QStringLiteral("icons")), kHeaderDerivedNames),
        row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PictureNames,
    testing::Values(NamesRow{"plain", {"logo.png", "dir/arrow.gif"}, {"logo", "arrow"}},
                    NamesRow{"other_characters",
                             {"my icon-2.v1.bmp", "caf\u00e9.png", "\U0001F600.ico"},
                             {"my_icon_2_v1", "caf_", "_"}},
                    NamesRow{"leading_digit", {"7seg.png", "_7.png"}, {"_7seg", "_7"}},
                    NamesRow{"keywords",
                             {"int.png", "class.bmp", "_Bool.gif", "Int.png"},
                             {"int_", "class_", "_Bool_", "Int"}},
                    NamesRow{"nothing_before_the_extension", {".png", "-.png"}, {"_", "__2"}},
                    NamesRow{"repeats",
                             {"a/logo.png", "b/logo.png", "logo.jpg", "logo_2.png"},
                             {"logo", "logo_2", "logo_3", "logo_2_2"}},
                    NamesRow{"a_name_another_one_brings_along",
                             {"logo_width.png", "logo.png"},
                             {"logo_width", "logo_2"}},
                    NamesRow{"the_sets_own_names",
                             {"icons_count.png", "icons_all.png"},
                             {"icons_count_2", "icons_all_2"}}),
    [](const testing::TestParamInfo<NamesRow>& row) { return std::string(row.param.what); });

} // namespace
} // namespace pixelcast
