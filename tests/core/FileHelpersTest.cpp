#include "core/file_helpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/conversion.h"
#include "tests/TempFolder.h"

TEST(FileHelpers, ExtensionIsTheLowerCaseTextAfterTheLastDotOfTheLastElement)
{
    EXPECT_EQ(GetExtension(L"Folder.x/Name.WAV"), L"wav");
    EXPECT_EQ(GetExtension(L"Folder.x/Name"), L"");
    EXPECT_EQ(GetExtension(L"Folder.x\\Name"), L"");
    EXPECT_EQ(GetExtension(L"a.preset.xml"), L"xml");
    EXPECT_EQ(GetExtension(L".hidden"), L"");
    EXPECT_EQ(GetExtension(L"name."), L"");
    EXPECT_EQ(GetExtension(L""), L"");
}

TEST(FileHelpers, DecomposeSplitsFolderNameAndExtension)
{
    std::wstring name, folder, extension;
    decompose_filename(L"C:\\dir\\Name.WAV", name, folder, extension);
    EXPECT_EQ(folder, L"C:\\dir\\");
    EXPECT_EQ(name, L"Name");
    EXPECT_EQ(extension, L"wav");

    decompose_filename(L"/a.b/c/file", name, folder, extension);
    EXPECT_EQ(folder, L"/a.b/c/");
    EXPECT_EQ(name, L"file");
    EXPECT_EQ(extension, L"");

    decompose_filename(L"plain.txt", name, folder, extension);
    EXPECT_EQ(folder, L"");
    EXPECT_EQ(name, L"plain");
    EXPECT_EQ(extension, L"txt");
}

TEST(FileHelpers, CombineInsertsExactlyOneSeparator)
{
    EXPECT_EQ(combine_path_and_file(L"dir", L"file"), L"dir/file");
    EXPECT_EQ(combine_path_and_file(L"dir/", L"/file"), L"dir/file");
    EXPECT_EQ(combine_path_and_file(L"dir\\", L"file"), L"dir\\file");
    EXPECT_EQ(combine_path_and_file(L"", L"/file"), L"file");
    EXPECT_EQ(combine_path_and_file(L"dir", L""), L"dir/");
}

TEST(FileHelpers, FileExistsOpensThePathInUtf8)
{
    EXPECT_FALSE(FileExists(L""));
    const kv_test::TempFolder folder("file-helpers");
    const std::wstring path = Utf8ToWstring(folder.path().string()) + L"/name_\u00E9.txt";
    EXPECT_FALSE(FileExists(path));
    std::FILE* file = std::fopen(WStringToUtf8(path).c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    EXPECT_TRUE(FileExists(path));
}
