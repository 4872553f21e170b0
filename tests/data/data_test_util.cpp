#include "data_test_util.h"

#include <cstring>
#include <dirent.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

std::string data_test_mkdtemp(void) {
    char tmpl[] = "/tmp/zvdata.XXXXXX";
    char *dir = mkdtemp(tmpl);
    EXPECT_NE(dir, nullptr);
    return dir ? dir : "/nonexistent";
}

void data_test_rmtree(const std::string &path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        DIR *d = opendir(path.c_str());
        if (d) {
            std::vector<std::string> names;
            while (struct dirent *e = readdir(d))
                if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.push_back(e->d_name);
            closedir(d);
            for (auto &n : names)
                data_test_rmtree(path + "/" + n);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

void data_test_write(const std::string &path, const std::string &bytes) {
    data_make_dirs(path.c_str());
    FILE *fp = fopen(path.c_str(), "wb");
    ASSERT_NE(fp, nullptr) << path;
    ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), fp), bytes.size());
    fclose(fp);
}

std::string data_test_read(const std::string &path) {
    std::string out;
    FILE *fp = fopen(path.c_str(), "rb");
    if (!fp) return out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, fp)) > 0)
        out.append(buf, n);
    fclose(fp);
    return out;
}

bool data_test_exists(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

data_file *data_test_handle(const std::string &bytes, int gzip, int scrambled) {
    FILE *fp = tmpfile();
    if (!fp) return nullptr;
    fwrite(bytes.data(), 1, bytes.size(), fp);
    rewind(fp);
    return data_open_stream(fp, 0, DATA_FILE_NO_LIMIT, gzip, scrambled);
}

std::string data_test_drain(data_file *f) {
    std::string out;
    char buf[777]; // odd size: reads straddle the inflater's blocks
    int n;
    while ((n = data_read(f, buf, sizeof buf)) > 0)
        out.append(buf, (size_t)n);
    return out;
}

std::string data_test_archive(const std::vector<std::pair<std::string, std::string>> &members) {
    std::string header, body;
    for (auto &m : members) {
        header += std::to_string(m.second.size()) + " " + m.first + "\n";
        body += m.second;
    }
    return header + "-\n" + body;
}

std::string data_test_gzip(const std::string &data, int flags, const std::string &extra,
                           const std::string &name, const std::string &comment) {
    std::string out = {31, (char)139, 8, (char)flags, 0, 0, 0, 0, 0, 3};
    if (flags & 4) {
        out += (char)(extra.size() & 255);
        out += (char)(extra.size() >> 8);
        out += extra;
    }
    if (flags & 8) out += name + std::string(1, '\0');
    if (flags & 16) out += comment + std::string(1, '\0');
    if (flags & 2) {
        uint32_t crc = (uint32_t)crc32(0, (const Bytef *)out.data(), (uInt)out.size());
        out += (char)(crc & 255);
        out += (char)((crc >> 8) & 255);
    }
    z_stream z = {};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string body(deflateBound(&z, data.size()), '\0');
    z.next_in = (Bytef *)data.data();
    z.avail_in = (uInt)data.size();
    z.next_out = (Bytef *)body.data();
    z.avail_out = (uInt)body.size();
    deflate(&z, Z_FINISH);
    body.resize(body.size() - z.avail_out);
    deflateEnd(&z);
    out += body;
    uint32_t crc = (uint32_t)crc32(0, (const Bytef *)data.data(), (uInt)data.size());
    uint32_t size = (uint32_t)data.size();
    for (int i = 0; i < 4; i++)
        out += (char)((crc >> (8 * i)) & 255);
    for (int i = 0; i < 4; i++)
        out += (char)((size >> (8 * i)) & 255);
    return out;
}

std::string data_test_scrambled(const std::string &plain) {
    std::string s = plain;
    data_scramble(s.data(), s.size(), 0);
    return s;
}

static const char *const data_test_env[3] = {"HOME", "XDG_DATA_HOME", "ZV_HOME"};

void DataRoots::SetUp() {
    file_index_free();
    for (int i = 0; i < 3; i++) {
        const char *v = getenv(data_test_env[i]);
        had[i] = v != nullptr;
        saved[i] = v ? v : "";
    }
    tmp = data_test_mkdtemp();
    setenv("XDG_DATA_HOME", (tmp + "/home").c_str(), 1);
    setenv("ZV_HOME", (tmp + "/game").c_str(), 1);
    home = tmp + "/home/Zelvo/";
    game = tmp + "/game/";
    mkdir(game.c_str(), 0777);
}

void DataRoots::TearDown() {
    for (int i = 0; i < 3; i++) {
        if (had[i])
            setenv(data_test_env[i], saved[i].c_str(), 1);
        else
            unsetenv(data_test_env[i]);
    }
    file_index_free();
    data_test_rmtree(tmp);
}
