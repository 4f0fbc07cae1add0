// Helpers for the book engine's tests: a fresh scratch folder per test, device
// paths of the test books, the entries of a Book in a readable form, what an
// extraction wrote, a reference decoder, and running leafwise-book.
#pragma once

#include <Book.h>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace booktest {

// Points LEAFWISE_TEMP (the device's "\Temp") at a new private folder for the
// length of one test, and removes it afterwards.
class ScratchTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The host folder behind "\Temp".
    const std::filesystem::path& Scratch() const { return scratch; }
    // Every file directly in the scratch folder, by name, with its bytes.
    std::map<std::string, std::string> ScratchFiles() const;

private:
    std::filesystem::path scratch;
};

// Host path of a test book compiled into the build tree (tests/books).
std::string TestBookHostPath(const std::string& name);
// Device path (UTF-16) of a host path.
std::u16string DevicePath(const std::string& hostPath);
std::u16string DeviceTestBook(const std::string& name);

std::u16string Wide(const std::string& utf8);
std::string Utf8(const std::u16string& text);
std::string Utf8(const WCHAR* text);

// One contents entry as "level|title|local", UTF-8.
std::vector<std::string> Entries(const Book& book);
// The same, of the entries that LoadContents hands to a callback; `result`
// receives what it returned.
std::vector<std::string> EntriesHandedOut(Book& book, LPCWSTR path, int* result);

// The bytes of a file; empty when it cannot be read.
std::string ReadBytes(const std::filesystem::path& file);

// The page file the engine must write for an object of `bytes` read in
// `codePage`: FF FE and the UTF-16LE of the bytes before the first zero.
// Decoded by iconv here, independently of the platform's converter: bytes
// that a single-byte code page leaves undefined stand for themselves, and an
// invalid multi-byte sequence gives one U+FFFD for its first byte, as Windows does.
std::string ExpectedPageFile(const std::string& bytes, unsigned codePage);

// The result of running a program: exit status, standard output and error.
struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};
RunResult Run(const std::vector<std::string>& argv);
// leafwise-book with these arguments.
RunResult RunTool(const std::vector<std::string>& arguments);

}  // namespace booktest
