// The text scanner: its rules at mismatches and at the end of the input, and agreement with the
// C library on well-formed input where the two are meant to agree.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>

#include "data_test_util.h"

namespace {

struct Scan {
    data_file *f;
    explicit Scan(const std::string &text) : f(data_test_handle(text)) {}
    ~Scan() { data_close(f); }
    std::string rest() { return data_test_drain(f); }
};

TEST(DataScanf, BracketedVectors) {
    float v[3] = {0, 0, 0};
    {
        Scan s("[ 1 2 ]");
        EXPECT_EQ(data_scanf(s.f, "[ %f %f %f ]", &v[0], &v[1], &v[2]), 2);
        EXPECT_EQ(v[1], 2.0f);
        EXPECT_EQ(s.rest(), "]");
    }
    {
        Scan s("[ 1 2 3 )");
        EXPECT_EQ(data_scanf(s.f, "[ %f %f %f ]", &v[0], &v[1], &v[2]), -1);
        EXPECT_EQ(v[2], 3.0f); // assigned all the same
        EXPECT_EQ(s.rest(), ")");
    }
    {
        Scan s("[1 2.5 -3]\n[4 5 6]");
        EXPECT_EQ(data_scanf(s.f, "[ %f %f %f ]", &v[0], &v[1], &v[2]), 3);
        EXPECT_EQ(v[1], 2.5f);
        EXPECT_EQ(v[2], -3.0f);
        EXPECT_EQ(data_scanf(s.f, " [ %f %f %f ]", &v[0], &v[1], &v[2]), 3);
        EXPECT_EQ(v[0], 4.0f);
    }
    {
        Scan s("(1 2 3]");
        EXPECT_EQ(data_scanf(s.f, "[ %f %f %f ]", &v[0], &v[1], &v[2]), -1);
        EXPECT_EQ(s.rest(), "(1 2 3]"); // the mismatching character stays
    }
    {
        Scan s("[ 1 2");
        EXPECT_EQ(data_scanf(s.f, "[ %f %f %f ]", &v[0], &v[1], &v[2]), 2);
    }
}

TEST(DataScanf, EndOfInputAndFailedConversions) {
    int a = 0, b = 0;
    {
        Scan s("7 x");
        EXPECT_EQ(data_scanf(s.f, "%d %d", &a, &b), 1);
        EXPECT_EQ(a, 7);
        EXPECT_EQ(data_getc(s.f), 'x');
    }
    {
        Scan s("");
        EXPECT_EQ(data_scanf(s.f, "%d", &a), -1);
    }
    {
        Scan s("  \n\t ");
        EXPECT_EQ(data_scanf(s.f, "%d", &a), -1);
    }
    {
        Scan s("5");
        EXPECT_EQ(data_scanf(s.f, "%d %d", &a, &b), 1);
    }
    {
        Scan s("x");
        EXPECT_EQ(data_scanf(s.f, "%d", &a), 0);
        EXPECT_EQ(s.rest(), "x");
    }
    {
        Scan s("ab");
        EXPECT_EQ(data_scanf(s.f, "abc"), -1); // literal at the end
    }
    {
        Scan s("12 ");
        EXPECT_EQ(data_scanf(s.f, "%d x", &a), -1); // literal at the end after an assignment
        EXPECT_EQ(a, 12);
    }
    {
        Scan s("abc");
        EXPECT_EQ(data_scanf(s.f, "abc"), 0); // format exhausted, nothing assigned
        EXPECT_EQ(data_getc(s.f), -1);
    }
    {
        Scan s("-");
        EXPECT_EQ(data_scanf(s.f, "%d", &a), 0); // a sign alone is no number
    }
    {
        Scan s("100%");
        EXPECT_EQ(data_scanf(s.f, "%d%%", &a), 1);
        EXPECT_EQ(data_getc(s.f), -1);
    }
}

TEST(DataScanf, Reals) {
    float f = 0;
    double d = 0;
    long double ld = 0;
    auto one = [](const char *text, const char *fmt, void *out) {
        Scan s(text);
        return data_scanf(s.f, fmt, out);
    };
    EXPECT_EQ(one("-.5e1", "%f", &f), 1);
    EXPECT_EQ(f, -5.0f);
    EXPECT_EQ(one("1e", "%f", &f), 1);
    EXPECT_EQ(f, 1.0f);
    EXPECT_EQ(one(".", "%f", &f), 0);
    EXPECT_EQ(one("+3.", "%f", &f), 1);
    EXPECT_EQ(f, 3.0f);
    EXPECT_EQ(one("2.5E+2", "%lf", &d), 1);
    EXPECT_EQ(d, 250.0);
    EXPECT_EQ(one("0.1", "%Lf", &ld), 1);
    EXPECT_NEAR((double)(ld - 0.1L), 0.0, 1e-19);
    EXPECT_EQ(one("0.1", "%llf", &ld), 1);
    EXPECT_EQ(one("0.1", "%qf", &ld), 1);
    EXPECT_EQ(one("0.1", "%lf", &d), 1);
    EXPECT_EQ(d, 0.1);
    // Not recognised: infinity, NaN, hexadecimal reals.
    EXPECT_EQ(one("inf", "%f", &f), 0);
    EXPECT_EQ(one("nan", "%f", &f), 0);
    {
        Scan s("0x1p3");
        EXPECT_EQ(data_scanf(s.f, "%f", &f), 1);
        EXPECT_EQ(f, 0.0f);
        EXPECT_EQ(s.rest(), "x1p3");
    }
    // Huge exponents saturate instead of wrapping around.
    EXPECT_EQ(one("1e99999999999999999999", "%lf", &d), 1);
    EXPECT_TRUE(std::isinf(d) && d > 0);
    EXPECT_EQ(one("1e-99999999999999999999", "%lf", &d), 1);
    EXPECT_EQ(d, 0.0);
    EXPECT_EQ(one("0e99999", "%lf", &d), 1);
    EXPECT_EQ(d, 0.0); // not a NaN from 0 x infinity
    EXPECT_EQ(one("1e4000", "%Lf", &ld), 1);
    EXPECT_FALSE(std::isinf(ld));
    EXPECT_EQ(one("1e50", "%f", &f), 1);
    EXPECT_TRUE(std::isinf(f));
    std::string digits = "0." + std::string(5000, '0') + "1e5001";
    EXPECT_EQ(one(digits.c_str(), "%lf", &d), 1);
    EXPECT_NEAR(d, 1.0, 1e-12);
    // Width counts the sign and the point.
    {
        Scan s("-1.2345");
        EXPECT_EQ(data_scanf(s.f, "%4f", &f), 1);
        EXPECT_EQ(f, -1.2f);
        EXPECT_EQ(s.rest(), "345");
    }
}

TEST(DataScanf, Integers) {
    int a = 0;
    int16_t h = 0;
    auto one = [](const char *text, const char *fmt, void *out, std::string *rest = nullptr) {
        Scan s(text);
        int r = data_scanf(s.f, fmt, out);
        if (rest) *rest = s.rest();
        return r;
    };
    std::string rest;
    EXPECT_EQ(one("0x1F", "%i", &a), 1);
    EXPECT_EQ(a, 31);
    EXPECT_EQ(one("017", "%i", &a), 1);
    EXPECT_EQ(a, 15);
    EXPECT_EQ(one("-0X10", "%i", &a), 1);
    EXPECT_EQ(a, -16);
    EXPECT_EQ(one("0", "%i", &a), 1);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(one("09", "%i", &a, &rest), 1);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(rest, "9");
    EXPECT_EQ(one("0x1F", "%x", &a, &rest), 1); // no prefix for %x
    EXPECT_EQ(a, 0);
    EXPECT_EQ(rest, "x1F");
    EXPECT_EQ(one("ff", "%X", &a), 1);
    EXPECT_EQ(a, 255);
    EXPECT_EQ(one("778", "%o", &a, &rest), 1);
    EXPECT_EQ(a, 63);
    EXPECT_EQ(rest, "8");
    EXPECT_EQ(one("4294967297", "%d", &a), 1); // wraps in 32 bits
    EXPECT_EQ(a, 1);
    EXPECT_EQ(one("-2147483648", "%d", &a), 1);
    EXPECT_EQ(a, INT32_MIN);
    EXPECT_EQ(one("70000", "%hd", &h), 1);
    EXPECT_EQ(h, (int16_t)(70000 - 65536));
    EXPECT_EQ(one("-1234", "%3d", &a, &rest), 1);
    EXPECT_EQ(a, -12);
    EXPECT_EQ(rest, "34");
    EXPECT_EQ(one("12", "%ld", &a), 1); // 'l' does not widen
    EXPECT_EQ(a, 12);
    int b = 0;
    {
        Scan s("5 6");
        EXPECT_EQ(data_scanf(s.f, "%*d %d", &b), 1);
        EXPECT_EQ(b, 6);
    }
}

TEST(DataScanf, WordsCharactersAndSets) {
    std::string word(2000, 'w');
    for (size_t i = 0; i < word.size(); i++)
        word[i] = (char)('a' + i % 26);
    {
        Scan s(word + " next");
        static char buf[1024];
        EXPECT_EQ(data_scanf(s.f, "%1023s", buf), 1);
        EXPECT_EQ(std::string(buf), word.substr(0, 1023));
        EXPECT_EQ(data_scanf(s.f, "%1023s", buf), 1);
        EXPECT_EQ(std::string(buf), word.substr(1023));
        EXPECT_EQ(data_scanf(s.f, "%1023s", buf), 1);
        EXPECT_STREQ(buf, "next");
        EXPECT_EQ(data_scanf(s.f, "%1023s", buf), -1);
    }
    {
        Scan s("  ab\tc");
        char c[4] = {'x', 'x', 'x', 'x'};
        EXPECT_EQ(data_scanf(s.f, "%c", c), 1);
        EXPECT_EQ(c[0], ' ');
        EXPECT_EQ(c[1], 'x');
        EXPECT_EQ(data_scanf(s.f, "%3c", c), 1);
        EXPECT_EQ(std::string(c, 4), " abx"); // no terminator
    }
    {
        Scan s("abc-xyz]]^q rest");
        char buf[64];
        EXPECT_EQ(data_scanf(s.f, "%[a-c-]", buf), 1);
        EXPECT_STREQ(buf, "abc-");
        EXPECT_EQ(data_scanf(s.f, "%[^]]", buf), 1);
        EXPECT_STREQ(buf, "xyz");
        EXPECT_EQ(data_scanf(s.f, "%[]^]", buf), 1);
        EXPECT_STREQ(buf, "]]^");
        EXPECT_EQ(data_scanf(s.f, "%2[^ ]", buf), 1);
        EXPECT_STREQ(buf, "q");
        EXPECT_EQ(data_scanf(s.f, "%[a-z]", buf), 0); // the space is not in the set
        EXPECT_EQ(data_getc(s.f), ' ');
    }
    {
        // A suppressed set ends the call.
        Scan s("aaab 5");
        int n = -7;
        EXPECT_EQ(data_scanf(s.f, "%*[a] %d", &n), 0);
        EXPECT_EQ(n, -7);
        EXPECT_EQ(s.rest(), "b 5");
    }
}

TEST(DataScanf, CommentLines) {
    Scan s("# first comment\n  #second\n#\n12\n");
    char buf[2];
    EXPECT_EQ(data_scanf(s.f, " %1[#]%*[^\n]", buf), 1);
    EXPECT_STREQ(buf, "#");
    EXPECT_EQ(data_scanf(s.f, " %1[#]%*[^\n]", buf), 1);
    EXPECT_EQ(data_scanf(s.f, " %1[#]%*[^\n]", buf), 1); // only '#' on the line
    EXPECT_EQ(data_scanf(s.f, " %1[#]%*[^\n]", buf), 0);
    EXPECT_EQ(data_peek(s.f), '1');
    int v = 0;
    EXPECT_EQ(data_scanf(s.f, "%d", &v), 1);
    EXPECT_EQ(v, 12);
    EXPECT_EQ(data_scanf(s.f, " %1[#]%*[^\n]", buf), -1);
}

TEST(DataScanf, CountOfConsumedCharacters) {
    Scan s("  42 abc");
    int a = 0, n1 = -1, n2 = -1;
    char w[8];
    EXPECT_EQ(data_scanf(s.f, "%d%n %s%n", &a, &n1, w, &n2), 2);
    EXPECT_EQ(n1, 4); // the space after 42 went back to the push-back slot
    EXPECT_EQ(n2, 8);
    // A character already pushed back counts when it is taken.
    Scan t("xyz");
    EXPECT_EQ(data_peek(t.f), 'x');
    int n = -1;
    EXPECT_EQ(data_scanf(t.f, "x%n", &n), 0);
    EXPECT_EQ(n, 1);
    int16_t hn = -1;
    EXPECT_EQ(data_scanf(t.f, "yz%hn", &hn), 0);
    EXPECT_EQ(hn, 2);
}

// ---- against the C library -------------------------------------------------------------------

struct Rng {
    uint64_t s;
    uint32_t next() {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return (uint32_t)(s >> 33);
    }
    int range(int lo, int hi) { return lo + (int)(next() % (uint32_t)(hi - lo + 1)); }
};

std::string digits(Rng &r, int n, bool leading_zero_ok) {
    std::string s;
    for (int i = 0; i < n; i++) {
        char c = (char)('0' + r.range(0, 9));
        if (i == 0 && !leading_zero_ok && c == '0') c = '1';
        s += c;
    }
    return s;
}

std::string real_text(Rng &r, int max_exp) {
    std::string s;
    int sign = r.range(0, 2);
    if (sign == 1) s += '-';
    if (sign == 2) s += '+';
    int form = r.range(0, 3);
    int total = r.range(1, 17);
    if (form == 0) {
        s += digits(r, total, true);
    } else if (form == 1) {
        int before = r.range(0, total - 1);
        s += digits(r, before, true) + "." + digits(r, total - before, true);
    } else {
        int before = r.range(1, total);
        s += digits(r, before, true) + (form == 2 ? "." : "") + digits(r, total - before, true);
    }
    if (r.range(0, 1)) {
        s += r.range(0, 1) ? 'e' : 'E';
        int e = r.range(-max_exp, max_exp);
        if (e >= 0 && r.range(0, 1)) s += '+';
        s += std::to_string(e);
    }
    return s;
}

bool within_one_ulp(double a, double b) {
    return a == b || std::nextafter(a, b) == b;
}

TEST(DataScanf, AgreesWithTheCLibrary) {
    Rng r = {0x2545F4914F6CDD1Dull};
    int checked = 0;
    for (int iter = 0; iter < 3000; iter++) {
        int kind = iter % 8;
        std::string text, fmt;
        switch (kind) {
        case 0: { // decimal integers in range
            int64_t v = (int64_t)r.next() - 2147483648ll;
            text = std::to_string(v);
            fmt = "%d";
            break;
        }
        case 1: { // %i in all three bases
            uint32_t v = r.next() & 0x7fffffff;
            char buf[32];
            int base = r.range(0, 2);
            snprintf(buf, sizeof buf, base == 0 ? "%u" : base == 1 ? "0x%x" : "0%o", v);
            text = std::string(r.range(0, 1) ? "-" : "") + buf;
            fmt = "%i";
            break;
        }
        case 2: { // octal and hexadecimal without prefixes
            char buf[32];
            uint32_t v = r.next();
            bool hex = r.range(0, 1);
            snprintf(buf, sizeof buf, hex ? (r.range(0, 1) ? "%x" : "%X") : "%o", v);
            text = buf;
            fmt = hex ? "%x" : "%o";
            break;
        }
        case 3:
            text = real_text(r, 30);
            fmt = "%f";
            break;
        case 4:
        case 5:
            text = real_text(r, 300);
            fmt = "%lf";
            break;
        case 6: { // a record of mixed fields
            text = "  w" + digits(r, r.range(1, 8), true) + "\t" + real_text(r, 20) + " " +
                   std::to_string((int)r.next() % 100000) + " [" + real_text(r, 5) + "]";
            fmt = "%15s %lf %d [ %f ]";
            break;
        }
        default: { // widths
            text = digits(r, r.range(1, 12), true) + " " + real_text(r, 10);
            fmt = "%5d %7lf";
            break;
        }
        }
        SCOPED_TRACE("input '" + text + "' format '" + fmt + "'");
        if (kind == 6) {
            char w1[16] = {}, w2[16] = {};
            double d1 = 0, d2 = 0;
            int i1 = 0, i2 = 0;
            float f1 = 0, f2 = 0;
            Scan s(text);
            int got = data_scanf(s.f, fmt.c_str(), w1, &d1, &i1, &f1);
            int want = sscanf(text.c_str(), fmt.c_str(), w2, &d2, &i2, &f2);
            ASSERT_EQ(got, want);
            EXPECT_STREQ(w1, w2);
            EXPECT_TRUE(within_one_ulp(d1, d2)) << d1 << " " << d2;
            EXPECT_EQ(i1, i2);
            EXPECT_TRUE(within_one_ulp(f1, f2)) << f1 << " " << f2;
        } else if (kind == 7) {
            int i1 = 0, i2 = 0;
            double d1 = 0, d2 = 0;
            Scan s(text);
            int got = data_scanf(s.f, fmt.c_str(), &i1, &d1);
            int want = sscanf(text.c_str(), fmt.c_str(), &i2, &d2);
            ASSERT_EQ(got, want);
            EXPECT_EQ(i1, i2);
            if (got == 2) {
                EXPECT_TRUE(within_one_ulp(d1, d2)) << d1 << " " << d2;
            }
        } else if (kind >= 3) {
            Scan s(text);
            if (fmt == "%f") {
                float a = 0, b = 0;
                ASSERT_EQ(data_scanf(s.f, "%f", &a), sscanf(text.c_str(), "%f", &b));
                EXPECT_TRUE(std::nextafter(a, b) == b || a == b) << a << " " << b;
            } else {
                double a = 0, b = 0;
                ASSERT_EQ(data_scanf(s.f, "%lf", &a), sscanf(text.c_str(), "%lf", &b));
                EXPECT_TRUE(within_one_ulp(a, b)) << a << " " << b;
            }
            EXPECT_EQ(s.rest(), "");
        } else {
            int a = 0;
            unsigned b = 0;
            Scan s(text);
            ASSERT_EQ(data_scanf(s.f, fmt.c_str(), &a), sscanf(text.c_str(), fmt.c_str(), &b));
            EXPECT_EQ((unsigned)a, b);
            EXPECT_EQ(s.rest(), "");
        }
        checked++;
    }
    EXPECT_GE(checked, 1000);
}

} // namespace
