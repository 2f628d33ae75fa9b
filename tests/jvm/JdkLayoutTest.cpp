// Where a JDK keeps jvm.dll and its runtime DLLs, and which installed version comes first.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/HeapText.h"
#include "jvm/JdkLayout.h"

namespace {

std::wstring text(const CHeapText& held) {
    return held ? std::wstring(held.get()) : L"(none)";
}

std::vector<std::wstring> sorted(std::vector<std::wstring> names, const wchar_t* current) {
    std::vector<CVersionName> table(names.size());
    for (std::size_t index = 0; index < names.size(); ++index) {
        names[index].copy(table[index].text, 255);
        table[index].text[names[index].size()] = L'\0';
    }
    sortVersionsHighestFirst(table.data(), table.size(), current);
    std::vector<std::wstring> result;
    for (const CVersionName& name : table) {
        result.emplace_back(name.text);
    }
    return result;
}

}  // namespace

TEST(JdkLayout, LibraryPathsFollowTheLayoutsInOrder) {
    ASSERT_EQ(kJdkLibraryLayoutCount, 3u);
    EXPECT_EQ(text(jdkLibraryPath(L"C:\\jdk-21", 0)), L"C:\\jdk-21\\bin\\server\\jvm.dll");
    EXPECT_EQ(text(jdkLibraryPath(L"C:\\jre\\", 1)), L"C:\\jre\\bin\\client\\jvm.dll");
    EXPECT_EQ(text(jdkLibraryPath(L"C:\\jdk1.8.0", 2)), L"C:\\jdk1.8.0\\jre\\bin\\server\\jvm.dll");
}

TEST(JdkLayout, ImportsComeFromTheFolderAboveServerOrClient) {
    EXPECT_EQ(text(jdkImportFolder(L"C:\\jdk\\bin\\server\\jvm.dll")), L"C:\\jdk\\bin");
    EXPECT_EQ(text(jdkImportFolder(L"C:\\jdk8\\jre\\bin\\Client\\jvm.dll")), L"C:\\jdk8\\jre\\bin");
    EXPECT_EQ(text(jdkImportFolder(L"C:/jdk/bin/server/jvm.dll")), L"C:/jdk/bin");
    EXPECT_EQ(text(jdkImportFolder(L"C:\\jdk\\bin\\jvm.dll")), L"(none)");
    EXPECT_EQ(text(jdkImportFolder(L"server\\jvm.dll")), L"(none)");
    EXPECT_EQ(text(jdkImportFolder(L"jvm.dll")), L"(none)");
}

TEST(JdkLayout, OnlyDrivePathsAndUncPathsAreAbsolute) {
    for (const wchar_t* path : {L"C:\\jdk", L"z:/jdk", L"\\\\server\\share\\jdk", L"\\\\?\\C:\\jdk"}) {
        EXPECT_TRUE(isAbsoluteWindowsPath(path)) << path;
    }
    for (const wchar_t* path :
         {L"jdk", L".\\jdk", L"C:jdk", L"C:", L"\\jdk", L"/jdk", L"\\\\", L"\\\\\\x", L"1:\\jdk", L""}) {
        EXPECT_FALSE(isAbsoluteWindowsPath(path)) << path;
    }
}

TEST(JdkLayout, VersionsCompareByTheirNumbers) {
    EXPECT_GT(compareJavaVersions(L"11", L"1.8"), 0);
    EXPECT_GT(compareJavaVersions(L"17.0.10", L"17.0.9"), 0);
    EXPECT_GT(compareJavaVersions(L"1.8.0_392", L"1.8"), 0);
    EXPECT_GT(compareJavaVersions(L"zulu-21", L"zulu-8"), 0);
    EXPECT_GT(compareJavaVersions(L"100000000000000000000", L"99999999999999999999"), 0);
    EXPECT_EQ(compareJavaVersions(L"21.0.1", L"21.0.1"), 0);
    EXPECT_NE(compareJavaVersions(L"21.0.01", L"21.0.1"), 0);
    EXPECT_LT(compareJavaVersions(L"8.0.392.8", L"21.0.1.12"), 0);
}

TEST(JdkLayout, TheCurrentVersionComesFirstThenTheHighest) {
    EXPECT_EQ(sorted({L"1.8", L"17.0.9.9", L"11.0.2", L"21"}, nullptr),
              (std::vector<std::wstring>{L"21", L"17.0.9.9", L"11.0.2", L"1.8"}));
    EXPECT_EQ(sorted({L"1.8", L"17.0.9.9", L"11.0.2", L"21"}, L"11.0.2"),
              (std::vector<std::wstring>{L"11.0.2", L"21", L"17.0.9.9", L"1.8"}));
}
