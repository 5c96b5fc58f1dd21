// Finding the zip libraries beside the program, and what a component says
// when a library or its entry point is missing.
#include "archive/library_binding.h"
#include "dynamic_library.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(DynamicLibrary, FindsTheZipLibrariesBesideTheProgramAndOnlyTheirEntryPoints) {
    DynamicLibrary zip;
    ASSERT_TRUE(zip.Load("libdzip32.so")) << zip.LastError();
    EXPECT_NE(zip.Symbol("dzip"), nullptr);
    EXPECT_EQ(zip.Symbol("dunzip"), nullptr);
    EXPECT_EQ(zip.Symbol("_ZN9zipcommon12StatusReport4SendE"), nullptr);

    DynamicLibrary missing;
    EXPECT_FALSE(missing.Load("libnot-a-zip-library.so"));
    EXPECT_FALSE(missing.IsLoaded());
    EXPECT_EQ(missing.Symbol("dzip"), nullptr);
}

class FailureMessages : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = SetLibraryFailureHandler(
            [this](const std::string& message) { messages.push_back(message); });
    }
    void TearDown() override { SetLibraryFailureHandler(previous_); }

    std::vector<std::string> messages;

private:
    LibraryFailureHandler previous_;
};

TEST_F(FailureMessages, NameTheMissingFileOrTheMissingEntryPoint) {
    DynamicLibrary library;
    LibraryBinding missingFile{"libnot-a-zip-library.so", "dzip"};
    missingFile.Attach(library);
    LibraryBinding missingEntry{"libdunzip32.so", "dzip"};
    missingEntry.Attach(library);
    LibraryBinding present{"libdunzip32.so", "dunzip"};
    present.Attach(library);

    EXPECT_EQ(messages, (std::vector<std::string>{"Could not load libnot-a-zip-library.so!",
                                                  "Could not load dzip function!"}));
    EXPECT_EQ(missingEntry.entry, nullptr);
    EXPECT_NE(present.entry, nullptr);
    present.Detach();
    EXPECT_EQ(present.entry, nullptr) << "the last component forgets the entry point";
}

} // namespace
