// Fixtures for the data tests: a temporary directory tree with the data roots pointed into it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include "data/data_file.h"
#include "data/data_index.h"

std::string data_test_mkdtemp(void);
void data_test_rmtree(const std::string &path);
// Writes bytes to path, creating directories along it.
void data_test_write(const std::string &path, const std::string &bytes);
std::string data_test_read(const std::string &path);
bool data_test_exists(const std::string &path);
// A handle over bytes in memory (plain, or as a gzip / scrambled stream).
data_file *data_test_handle(const std::string &bytes, int gzip = 0, int scrambled = 0);
// Everything a handle yields.
std::string data_test_drain(data_file *f);
// ".saf" bytes from (name, data) pairs in order.
std::string data_test_archive(const std::vector<std::pair<std::string, std::string>> &members);
// gzip bytes with the given header flags and fields (compressed with zlib, raw deflate).
std::string data_test_gzip(const std::string &data, int flags = 0, const std::string &extra = "",
                           const std::string &name = "", const std::string &comment = "");
std::string data_test_scrambled(const std::string &plain);

// Home root at <tmp>/home/Zelvo/, game root at <tmp>/game/; the index is freed before and after.
class DataRoots : public ::testing::Test {
  protected:
    std::string tmp, home, game;
    // The environment the roots come from is put back after each case.
    std::string saved[3];
    bool had[3] = {};
    void SetUp() override;
    void TearDown() override;
};
