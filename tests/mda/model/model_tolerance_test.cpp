// Named tolerances of a model and their dump, byte for byte.
#include "mda/model_support.h"

namespace {

using ModelTolerance = modeltest::ModelTest;

TEST_F(ModelTolerance, NamesAreSetReplacedAndDumpedInByteOrder) {
    ASSERT_EQ(NewModel(), 1);
    ASSERT_EQ(NewModel(), 2);
    EXPECT_EQ(mda_GetTol2(1, "never"), 2.220446049250313e-16);
    ASSERT_EQ(mda_SetTol2(1, "point", 0.001), 0);
    ASSERT_EQ(mda_SetTol2(1, "Angle", 1e-9), 0);
    ASSERT_EQ(mda_SetTol2(1, "b", -2.5), 0);
    ASSERT_EQ(mda_SetTol2(1, "point", 0.25), 0); // replaces
    ASSERT_EQ(mda_SetTol2(2, "point", 7.0), 0);  // another model's own
    // Only 31 bytes of a name count.
    const std::string long_name(40, 'z');
    ASSERT_EQ(mda_SetTol2(1, long_name.c_str(), 123456789.0), 0);
    EXPECT_EQ(mda_GetTol2(1, std::string(31, 'z').c_str()), 123456789.0);
    EXPECT_EQ(mda_GetTol2(1, "point"), 0.25);
    EXPECT_EQ(mda_GetTol2(2, "point"), 7.0);
    EXPECT_EQ(mda_GetTol2(2, "Angle"), 2.220446049250313e-16);
    EXPECT_EQ(mda__Model[1].tolerances->count, 4);

    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    mda__DbgFile = out;
    EXPECT_EQ(mda_DbgDumpTols(0, 1), 0);
    EXPECT_EQ(mda_DbgDumpTols(0, 1), 0); // a second dump is the same
    EXPECT_EQ(mda_DbgDumpTols(0, 0), 0); // nothing
    EXPECT_EQ(mda_DbgDumpTols(0, 3), MDA_INVALID_MODEL);
    EXPECT_EQ(mda_DbgDumpTols(0, 2), 0);
    std::fclose(out);
    mda__DbgFile = stdout;
    const std::string one = "Angle = 1e-09\nb = -2.5\npoint = 0.25\n"
                            "zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz = 1.23457e+08\n\n\n";
    EXPECT_EQ(std::string(text, size), one + one + "point = 7\n\n\n");
    std::free(text);
}

} // namespace
