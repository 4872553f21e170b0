// Data roots, opening names with their variants, the file index and archives, writing, backups,
// renaming and whole-file reading.
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/zv_alloc.h"
#include "data_test_util.h"

namespace {

std::string read_name(const char *name) {
    data_file *f = data_open(name, "rb");
    if (!f) return "<absent>";
    std::string s = data_test_drain(f);
    data_close(f);
    return s;
}

class DataOpen : public DataRoots {};

TEST_F(DataOpen, RootsComeFromTheEnvironmentNormalised) {
    EXPECT_STREQ(data_root(0), home.c_str());
    EXPECT_STREQ(data_root(1), game.c_str());
    EXPECT_EQ(data_root(2), nullptr);
    EXPECT_EQ(data_root(-1), nullptr);
    EXPECT_STREQ(data_home(), home.c_str());

    file_index_free();
    setenv("ZV_HOME", (tmp + "//x\\\\y//").c_str(), 1);
    EXPECT_EQ(std::string(data_root(1)), tmp + "/x/y/");

    file_index_free();
    setenv("ZV_HOME", "", 1); // empty means unset, never the file system root
    EXPECT_STRNE(data_root(1), "/");

    // Without the XDG variable the home is under ~/.local/share; without ZV_HOME the game
    // directory is the one holding the running program.
    file_index_free();
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", (tmp + "/h").c_str(), 1);
    unsetenv("ZV_HOME");
    EXPECT_EQ(std::string(data_root(0)), tmp + "/h/.local/share/Zelvo/");
    char exe[1024];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    exe[n] = 0;
    *strrchr(exe, '/') = 0;
    EXPECT_EQ(std::string(data_root(1)), std::string(exe) + "/");
    EXPECT_EQ(data_root_count(), 2);

    // No home at all: the game directory is the only root and nothing may be written.
    file_index_free();
    unsetenv("XDG_DATA_HOME");
    unsetenv("HOME");
    setenv("ZV_HOME", game.c_str(), 1);
    EXPECT_EQ(data_root_count(), 1);
    EXPECT_EQ(data_home(), nullptr);
    EXPECT_EQ(data_open("@new.txt", "wb"), nullptr);
    EXPECT_FALSE(data_test_exists(game + "new.txt"));
}

TEST_F(DataOpen, ReadFallsBackToGameDirAndWritesLandInHome) {
    data_test_write(game + "config", "from game\n");
    EXPECT_EQ(read_name("@config"), "from game\n");

    data_file *w = data_open("@config", "wb");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(data_printf(w, "%s %d %.2f\n", "rate", 7, 1.5), 12);
    EXPECT_EQ(data_putc(w, 'x'), 1);
    EXPECT_EQ(data_write(w, "yz", 2), 2);
    EXPECT_GE(data_puts(w, "\n"), 0);
    EXPECT_EQ(data_getc(w), -1); // a writer yields nothing
    data_close(w);
    EXPECT_EQ(data_test_read(home + "config"), "rate 7 1.50\nxyz\n");
    EXPECT_EQ(data_test_read(game + "config"), "from game\n");
    EXPECT_EQ(read_name("@config"), "rate 7 1.50\nxyz\n"); // home first

    // Directories along the path are made, in the home directory only.
    w = data_open("@demos/sub/a.zvdemo", "wb");
    ASSERT_NE(w, nullptr);
    data_close(w);
    EXPECT_TRUE(data_test_exists(home + "demos/sub/a.zvdemo"));
    EXPECT_FALSE(data_test_exists(game + "demos"));

    // A read handle refuses writes.
    data_file *r = data_open("@config", "rb");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(data_putc(r, 'a'), 0);
    EXPECT_EQ(data_write(r, "a", 1), 0);
    data_close(r);

    // A write that never reached the disk is reported when the handle is closed.
    w = data_open("/dev/full", "wb");
    ASSERT_NE(w, nullptr);
    data_printf(w, "%s", std::string(100000, 'x').c_str());
    EXPECT_EQ(data_close(w), 0);
    w = data_open("@ok.txt", "wb");
    ASSERT_NE(w, nullptr);
    data_puts(w, "fine");
    EXPECT_EQ(data_close(w), 1);

    EXPECT_EQ(data_open("@missing", "rb"), nullptr);
    EXPECT_EQ(data_open((game + "missing").c_str(), "rb"), nullptr);
    EXPECT_EQ(data_open(game.c_str(), "rb"), nullptr); // a directory is not a file
}

TEST_F(DataOpen, VariantsAreTriedInOrder) {
    std::string text = "variant text\n";
    data_test_write(game + "a.txt.gz", data_test_gzip(text));
    data_test_write(game + "b.txt.scram", data_test_scrambled(text));
    data_test_write(game + "c.txt.gz.scram", data_test_scrambled(data_test_gzip(text)));
    data_test_write(game + "d.txt", "plain\n");
    data_test_write(game + "d.txt.gz", data_test_gzip("zipped\n"));
    EXPECT_EQ(read_name("@a.txt"), text);
    EXPECT_EQ(read_name("@b.txt"), text);
    EXPECT_EQ(read_name("@c.txt"), text);
    EXPECT_EQ(read_name("@d.txt"), "plain\n");
    EXPECT_EQ(read_name((game + "c.txt").c_str()), text); // plain paths too

    data_file *f = data_open("@c.txt", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->gzip && f->scrambled);
    data_close(f);
}

TEST_F(DataOpen, ScrambleIsPositionalAndInvolutive) {
    std::string plain(1000, '\0');
    for (size_t i = 0; i < plain.size(); i++)
        plain[i] = (char)(i * 7);
    std::string s = plain;
    data_scramble(s.data(), s.size(), 0);
    EXPECT_NE(s, plain);
    // Scrambling in pieces at their offsets equals scrambling at once.
    std::string t = plain;
    data_scramble(t.data(), 3, 0);
    data_scramble(t.data() + 3, 500, 3);
    data_scramble(t.data() + 503, 497, 503);
    EXPECT_EQ(s, t);
    data_scramble(s.data(), s.size(), 0);
    EXPECT_EQ(s, plain);

    data_file *f = data_test_handle(data_test_scrambled(plain), 0, 1);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(data_test_drain(f), plain);
    data_close(f);
}

TEST_F(DataOpen, LongNamesFailInsteadOfBeingCut) {
    // Build a name whose 511-character cut would name an existing file.
    std::string name;
    while (home.size() + name.size() < 520)
        name += std::string(60, 'd') + "/";
    name += "file.txt";
    std::string cut = (home + name).substr(0, DATA_NAME_MAX);
    while (cut.back() == '/')
        cut.pop_back();
    data_test_write(cut, "wrong file\n");
    EXPECT_EQ(data_open(("@" + name).c_str(), "rb"), nullptr);
    EXPECT_EQ(data_open(("@" + name).c_str(), "wb"), nullptr);
    EXPECT_EQ(data_test_read(cut), "wrong file\n");
    EXPECT_FALSE(data_test_exists(home + name));
    data_test_write(home + "short.txt", "keep\n");
    EXPECT_EQ(data_rename("@short.txt", ("@" + name).c_str()), 0);
    EXPECT_EQ(data_test_read(home + "short.txt"), "keep\n");
    char buf[64];
    EXPECT_EQ(data_home_path("@x", buf, 4), 0);
}

TEST_F(DataOpen, PushBackPeekGetsAndSeek) {
    data_test_write(game + "lines.txt", "ab\ncd\nlast");
    data_file *f = data_open("@lines.txt", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(data_peek(f), 'a');
    EXPECT_EQ(data_peek(f), 'a');
    char buf[16];
    EXPECT_STREQ(data_gets(f, buf, sizeof buf), "ab\n");
    EXPECT_STREQ(data_gets(f, buf, 2), "c"); // size-1 bytes at most
    EXPECT_STREQ(data_gets(f, buf, sizeof buf), "d\n");
    data_ungetc(f, 'Z');
    EXPECT_EQ(data_read(f, buf, 3), 3);
    EXPECT_EQ(std::string(buf, 3), "Zla");
    EXPECT_STREQ(data_gets(f, buf, sizeof buf), "st");
    EXPECT_EQ(data_gets(f, buf, sizeof buf), nullptr);
    EXPECT_EQ(data_getc(f), -1);
    EXPECT_EQ(data_peek(f), -1);

    EXPECT_EQ(data_seek(f, 3), 1);
    EXPECT_EQ(data_getc(f), 'c');
    EXPECT_EQ(data_seek(f, -1), 0);
    data_close(f);

    data_test_write(game + "z.txt.gz", data_test_gzip("zipped"));
    data_test_write(game + "s.txt.scram", data_test_scrambled("scrambled"));
    f = data_open("@z.txt", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(data_seek(f, 0), 0);
    data_close(f);
    f = data_open("@s.txt", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(data_seek(f, 0), 0);
    data_close(f);
}

// ---- index and archives ------------------------------------------------------------------

class DataIndex : public DataRoots {};

TEST_F(DataIndex, PrioritiesLooseBeatsArchiveEarlierArchiveBeatsLater) {
    data_test_write(game + "tracks/a/terrain.hf", "loose");
    data_test_write(game + "a.saf",
                    data_test_archive({{"tracks/a/terrain.hf", "member-a"},
                                       {"shared.txt", "from a"},
                                       {"pic.txt.gz", data_test_gzip("from a gz")}}));
    data_test_write(game + "b.saf", data_test_archive({{"shared.txt", "from b"},
                                                       {"pic.txt", "from b plain"},
                                                       {"only_b.txt", "bee"}}));
    // Only through the index: not before it is built.
    EXPECT_EQ(data_open("@only_b.txt", "rb"), nullptr);
    EXPECT_EQ(file_index_find("only_b.txt"), -1);
    const char *const *list = file_index_build();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(file_index_build(), list); // built once

    EXPECT_EQ(read_name("@tracks/a/terrain.hf"), "loose");
    EXPECT_EQ(read_name("@TRACKS/A/TERRAIN.HF"), "loose"); // through the index, any case
    EXPECT_EQ(read_name("@shared.txt"), "from a");
    EXPECT_EQ(read_name("@only_b.txt"), "bee");
    // The ".gz" form in the earlier archive beats the plain form in the later one.
    EXPECT_EQ(read_name("@pic.txt"), "from a gz");

    int i = file_index_find("TRACKS/a/Terrain.HF");
    ASSERT_GE(i, 0);
    EXPECT_EQ(file_index_entry_at(i)->priority, 1);
    EXPECT_EQ(file_index_entry_at(i + 1)->priority, 2); // a.saf is archive 2, b.saf 3
    i = file_index_find("shared.txt");
    EXPECT_EQ(file_index_entry_at(i + 1)->priority, 3);
    EXPECT_TRUE(file_index_exists("pic.txt.gz"));
    EXPECT_FALSE(file_index_exists("pic.txt.g"));

    char buf[256];
    ASSERT_EQ(file_index_describe(file_index_find("only_b.txt"), buf, sizeof buf), 1);
    EXPECT_EQ(std::string(buf), "only_b.txt -> " + game + "b.saf");
    ASSERT_EQ(file_index_describe(file_index_find("only_b.txt"), buf, 8), 1);
    EXPECT_STREQ(buf, "only_b.");
    EXPECT_EQ(file_index_describe(-1, buf, sizeof buf), 0);
    EXPECT_EQ(file_index_describe(file_index_count(), buf, sizeof buf), 0);

    // The file list: distinct names in index order.
    std::vector<std::string> names;
    for (int k = 0; list[k]; k++)
        names.push_back(list[k]);
    std::vector<std::string> want = {"a.saf",      "b.saf",      "only_b.txt",         "pic.txt",
                                     "pic.txt.gz", "shared.txt", "tracks/a/terrain.hf"};
    EXPECT_EQ(names, want);
}

TEST_F(DataIndex, FileListKeepsTheLowestPrioritySpelling) {
    data_test_write(home + "Readme.TXT", "home");
    data_test_write(game + "README.txt", "game");
    data_test_write(game + "z.saf", data_test_archive({{"readme.txt", "member"}}));
    const char *const *list = file_index_build();
    int n = 0;
    for (; list[n]; n++) {
    }
    ASSERT_EQ(n, 2);
    EXPECT_STREQ(list[0], "Readme.TXT");
    EXPECT_STREQ(list[1], "z.saf");
    EXPECT_EQ(file_index_entry_at(file_index_find("README.TXT"))->priority, 0);
}

TEST_F(DataIndex, MembersAreWindowsIntoTheArchive) {
    std::string gz = data_test_gzip(std::string(5000, 'g'));
    std::string scram = data_test_scrambled("scrambled member");
    data_test_write(game + "m.saf", data_test_archive({{"one", "first"},
                                                       {"two.gz", gz},
                                                       {"three.scram", scram},
                                                       {"a//b///c", "twelve bytes"},
                                                       {"empty", ""}}));
    file_index_build();
    EXPECT_EQ(read_name("@one"), "first");
    EXPECT_EQ(read_name("@two"), std::string(5000, 'g'));
    EXPECT_EQ(read_name("@three"), "scrambled member");
    EXPECT_EQ(read_name("@a/b/c"), "twelve bytes");
    EXPECT_EQ(read_name("@empty"), "");
    EXPECT_FALSE(file_index_exists("a//b///c"));

    data_file *f = data_open("@one", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(data_seek(f, 2), 1);
    EXPECT_EQ(data_test_drain(f), "rst");
    EXPECT_EQ(data_seek(f, 5), 0); // at the limit
    data_close(f);
}

TEST_F(DataIndex, BadArchiveHeadersMakeTheWholeArchiveAbsent) {
    std::string big = "99999999999999999999 huge\n-\nx";
    std::vector<std::pair<std::string, std::string>> cases = {
        {"noend.saf", "3 a\n3 b\nabcdef"},
        {"negative.saf", "3 a\n-5 b\n-\nabcdefgh"},
        {"overflow.saf", "3 a\n" + big},
        {"wrap.saf", "3 a\n2147483647 b\n2147483647 c\n-\nabc"},
        {"pastend.saf", "3 a\n100 b\n-\nabcdef"},
        {"nonumber.saf", "3 a\nb\n-\nabc"},
        {"noname.saf", "3 a\n3\n-\nabcdef"},
        {"crlf.saf", "3 a\n-\r\nabc"},
        {"unterminated.saf", "3 a\n" + std::string(1100, '7') + " b\n-\nabc"},
        {"nul.saf", std::string("3 a\n3 b\0c\n-\nabcdef", 19)},
    };
    for (auto &c : cases)
        data_test_write(game + c.first, c.second);
    data_test_write(game + "good.saf", "3 ok\n-\nyes");
    file_index_build();
    for (int i = 0; i < file_index_count(); i++) {
        const file_index_entry *e = file_index_entry_at(i);
        if (e->priority >= 2) {
            EXPECT_STREQ(e->name, "ok") << e->path;
        }
    }
    EXPECT_EQ(read_name("@ok"), "yes");
    EXPECT_FALSE(file_index_exists("a"));
}

TEST_F(DataIndex, ArchiveReaderReportsOffsets) {
    std::string bytes = data_test_archive({{"x", "12345"}, {"y", "67"}});
    FILE *fp = fmemopen(bytes.data(), bytes.size(), "rb");
    struct seen {
        std::vector<std::string> names;
        std::vector<int> offsets, lengths;
    } got;
    auto cb = [](void *ctx, const char *name, int32_t offset, int32_t length) {
        seen *s = (seen *)ctx;
        s->names.push_back(name);
        s->offsets.push_back(offset);
        s->lengths.push_back(length);
    };
    EXPECT_EQ(data_archive_read(fp, (int64_t)bytes.size(), cb, &got), 2);
    fclose(fp);
    EXPECT_EQ(got.names, (std::vector<std::string>{"x", "y"}));
    int header = (int)strlen("5 x\n2 y\n-\n");
    EXPECT_EQ(got.offsets, (std::vector<int>{header, header + 5}));
    EXPECT_EQ(got.lengths, (std::vector<int>{5, 2}));
    // The same header with a file one byte short reports nothing.
    fp = fmemopen(bytes.data(), bytes.size(), "rb");
    seen none;
    EXPECT_EQ(data_archive_read(fp, (int64_t)bytes.size() - 1, cb, &none), -1);
    fclose(fp);
    EXPECT_TRUE(none.names.empty());
}

TEST_F(DataIndex, SymbolicLinkLoopsAreNotFollowed) {
    data_test_write(game + "dir/file.txt", "real");
    ASSERT_EQ(symlink(game.c_str(), (game + "dir/loop").c_str()), 0);
    ASSERT_EQ(symlink((game + "dir/file.txt").c_str(), (game + "alias.txt").c_str()), 0);
    ASSERT_EQ(symlink((game + "nowhere").c_str(), (game + "dangling").c_str()), 0);
    file_index_build();
    EXPECT_EQ(file_index_count(), 2);
    EXPECT_TRUE(file_index_exists("dir/file.txt"));
    EXPECT_TRUE(file_index_exists("alias.txt")); // a link to a file is a file
    EXPECT_FALSE(file_index_exists("dir/loop/dir/file.txt"));
}

TEST_F(DataIndex, PumpIsCalledPerDirectoryAndArchive) {
    static int calls;
    calls = 0;
    file_index_set_pump([] { calls++; });
    data_test_write(game + "sub/a.saf", "-\n");
    file_index_build();
    file_index_set_pump(nullptr);
    // Home does not exist; game and game/sub are walked; one archive is read.
    EXPECT_EQ(calls, 3);
}

// ---- gzip ----------------------------------------------------------------------------------

class DataGzip : public DataRoots {};

TEST_F(DataGzip, HeaderFieldsAreSkipped) {
    std::string text;
    for (int i = 0; i < 3000; i++)
        text += "line " + std::to_string(i) + "\n";
    for (int flags : {0, 1, 2, 4, 8, 16, 4 | 8 | 16 | 2}) {
        std::string gz = data_test_gzip(text, flags, "EXTRA-FIELD", "name.txt", "a comment");
        data_file *f = data_test_handle(gz, 1);
        ASSERT_NE(f, nullptr) << flags;
        EXPECT_EQ(data_test_drain(f), text) << flags;
        EXPECT_EQ(f->position, text.size());
        data_close(f);
    }
    std::string good = data_test_gzip("x", 8, "", "n", "");
    EXPECT_EQ(data_gzip_header((const uint8_t *)good.data(), good.size()), 12u);
}

TEST_F(DataGzip, BadHeadersFailTheOpen) {
    std::string good = data_test_gzip("hello", 4 | 8, "xx", "name");
    std::vector<std::string> bad;
    std::string s = good;
    s[0] = 30;
    bad.push_back(s);
    s = good;
    s[2] = 7; // not deflate
    bad.push_back(s);
    s = good;
    s[3] = 32; // reserved flag
    bad.push_back(s);
    bad.push_back(good.substr(0, 9));  // short fixed part
    bad.push_back(good.substr(0, 13)); // inside the extra field
    bad.push_back(data_test_gzip("x", 8, "", "unterminated").substr(0, 14)); // name never ends
    s = good;
    s[10] = (char)0xff; // extra length runs past the data
    s[11] = (char)0xff;
    bad.push_back(s);
    bad.push_back("");
    for (auto &b : bad) {
        data_file *f = data_test_handle(b, 1);
        EXPECT_EQ(f, nullptr);
        data_close(f);
    }
}

TEST_F(DataGzip, FilesWrittenByGzipReadBackExactly) {
    std::string data;
    uint32_t x = 12345;
    for (int i = 0; i < 300000; i++) {
        x = x * 1103515245u + 12345u;
        data += (char)((i % 3) ? 'a' + (x >> 27) : (x >> 24));
    }
    std::string path = game + "big.bin";
    data_test_write(path, data);
    ASSERT_EQ(system(("gzip -n -9 " + path).c_str()), 0);
    ASSERT_TRUE(data_test_exists(path + ".gz"));
    EXPECT_EQ(read_name("@big.bin"), data);

    // Named and unnamed: gzip without -n stores the name and time.
    data_test_write(game + "named.txt", "named contents\n");
    ASSERT_EQ(system(("gzip " + game + "named.txt").c_str()), 0);
    EXPECT_EQ(read_name("@named.txt"), "named contents\n");
}

TEST_F(DataGzip, TruncatedOrCorruptStreamsEnd) {
    std::string text;
    for (int i = 0; i < 20000; i++)
        text += "row " + std::to_string(i * 31) + "\n";
    std::string gz = data_test_gzip(text);
    for (size_t cut : {gz.size() / 2, gz.size() - 60, (size_t)11}) {
        data_file *f = data_test_handle(gz.substr(0, cut), 1);
        ASSERT_NE(f, nullptr);
        std::string got = data_test_drain(f);
        EXPECT_LT(got.size(), text.size());
        EXPECT_EQ(text.compare(0, got.size(), got), 0); // a prefix, never garbage
        EXPECT_EQ(data_getc(f), -1);
        data_close(f);
    }
    // Block type 3 does not exist: nothing comes out.
    std::string junk = gz.substr(0, 10) + std::string("\xff\xff\xff\xff", 4);
    data_file *f = data_test_handle(junk, 1);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(data_test_drain(f), "");
    data_close(f);
    // The trailer and anything after the stream are not data.
    f = data_test_handle(gz + "trailing junk", 1);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(data_test_drain(f), text);
    data_close(f);
}

// ---- backups, renaming, whole files --------------------------------------------------------

class DataWrite : public DataRoots {};

TEST_F(DataWrite, BackupModeKeepsNumberedCopies) {
    data_file *f = data_open("@results.txt", "~wb");
    ASSERT_NE(f, nullptr); // nothing to keep yet
    data_puts(f, "one");
    data_close(f);
    EXPECT_FALSE(data_test_exists(home + "results.txt.~1~"));
    for (const char *text : {"two", "three"}) {
        f = data_open("@results.txt", "~wb");
        ASSERT_NE(f, nullptr);
        data_puts(f, text);
        data_close(f);
    }
    EXPECT_EQ(data_test_read(home + "results.txt"), "three");
    EXPECT_EQ(data_test_read(home + "results.txt.~1~"), "one");
    EXPECT_EQ(data_test_read(home + "results.txt.~2~"), "two");
    // A big file is copied in several blocks.
    std::string big(200000, 'b');
    big[150000] = 'c';
    data_test_write(home + "big", big);
    f = data_open("@big", "~wb");
    ASSERT_NE(f, nullptr);
    data_close(f);
    EXPECT_EQ(data_test_read(home + "big.~1~"), big);
}

TEST_F(DataWrite, BackupFailsWhenEveryNameIsTaken) {
    data_test_write(home + "s", "old");
    for (int n = 1; n <= 9999; n++) {
        FILE *fp = fopen((home + "s.~" + std::to_string(n) + "~").c_str(), "wb");
        ASSERT_NE(fp, nullptr);
        fclose(fp);
    }
    EXPECT_EQ(data_open("@s", "~wb"), nullptr);
    EXPECT_EQ(data_test_read(home + "s"), "old");

    std::string long_path = home + std::string(990, 'p');
    EXPECT_EQ(data_open(long_path.c_str(), "~wb"), nullptr);
}

TEST_F(DataWrite, RenameReplacesAndAFailedRenameKeepsTheTarget) {
    data_test_write(home + "a", "new");
    data_test_write(home + "b", "old");
    EXPECT_EQ(data_rename("@a", "@b"), 1);
    EXPECT_EQ(data_test_read(home + "b"), "new");
    EXPECT_FALSE(data_test_exists(home + "a"));
    EXPECT_EQ(data_rename("@a", "@b"), 0); // source gone
    EXPECT_EQ(data_test_read(home + "b"), "new");
    EXPECT_EQ(data_rename("@b", (home + "c").c_str()), 1);
    EXPECT_EQ(data_test_read(home + "c"), "new");
}

TEST_F(DataWrite, FileToStringLimit) {
    std::string almost(DATA_STRING_MAX - 1, 'q');
    almost[0] = 'A';
    almost.back() = 'Z';
    data_test_write(game + "almost", almost);
    int len = -1;
    char *s = file_to_string("@almost", &len);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(len, DATA_STRING_MAX - 1);
    EXPECT_EQ(s[0], 'A');
    EXPECT_EQ(s[DATA_STRING_MAX - 2], 'Z');
    EXPECT_EQ(s[DATA_STRING_MAX - 1], 0);
    zv_free(s);

    almost += "!";
    data_test_write(game + "exact", almost);
    EXPECT_EQ(file_to_string("@exact"), nullptr);
    EXPECT_EQ(file_to_string("@nothing"), nullptr);

    data_test_write(game + "small.gz", data_test_gzip("tiny"));
    s = file_to_string("@small", &len);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s, "tiny");
    EXPECT_EQ(len, 4);
    zv_free(s);
}

} // namespace
