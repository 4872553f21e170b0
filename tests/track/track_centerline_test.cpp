// The racing line file: what is accepted, what is refused, and interpolation along the loop.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "track/track_centerline.h"

namespace {

int parse(const std::string &text, track_centerline *c) {
    return track_centerline_parse(text.data(), text.size(), c);
}

TEST(TrackCenterline, ParsesAndInterpolatesAroundTheLoop) {
    track_centerline c;
    std::string text =
        "centerline 1\npoints 4\nlength 40\n0 1 0 10\n10 2 0 10\n10 3 10 20\n0 4 10 20\n";
    ASSERT_EQ(parse(text, &c), 1);
    EXPECT_EQ(c.count, 4);
    EXPECT_FLOAT_EQ(c.length, 40.0f);
    track_centerline_point p = track_centerline_at(&c, 5.0f);
    EXPECT_FLOAT_EQ(p.x, 5.0f);
    EXPECT_FLOAT_EQ(p.y, 1.5f);
    p = track_centerline_at(&c, 35.0f); // last point back to the first
    EXPECT_FLOAT_EQ(p.x, 0.0f);
    EXPECT_FLOAT_EQ(p.z, 5.0f);
    EXPECT_FLOAT_EQ(p.y, 2.5f);
    p = track_centerline_at(&c, -5.0f);
    EXPECT_FLOAT_EQ(p.z, 5.0f);
    p = track_centerline_at(&c, NAN);
    EXPECT_FLOAT_EQ(p.x, 0.0f);
    track_centerline_free(&c);
    // The text need not end in a zero: parsing stops at its length.
    ASSERT_EQ(track_centerline_parse(text.data(), text.size() - 2, &c), 1);
    EXPECT_FLOAT_EQ(c.points[3].half_width, 2.0f);
    track_centerline_free(&c);
    EXPECT_EQ(c.points, nullptr);
}

TEST(TrackCenterline, RefusesBadFiles) {
    track_centerline c;
    const char *bad[] = {
        "",
        "centerline 2\npoints 2\nlength 5\n0 0 0 1\n1 0 0 1\n",
        "centerline 1\npoints 1\nlength 5\n0 0 0 1\n",
        "centerline 1\npoints 70000\nlength 5\n",
        "centerline 1\npoints 2.5\nlength 5\n0 0 0 1\n1 0 0 1\n",
        "centerline 1\npoints 2\nlength 0\n0 0 0 1\n1 0 0 1\n",
        "centerline 1\npoints 2\nlength 5\n0 0 0 1\n1 0 0\n",
        "centerline 1\npoints 2\nlength 5\n0 0 0 1\n1 inf 0 1\n",
        "centerline 1\npoints 2\nlength 5\n0 0 0 1\n1 1e999 0 1\n",
        "line 1\npoints 2\nlength 5\n0 0 0 1\n1 0 0 1\n",
    };
    for (const char *text : bad) {
        EXPECT_EQ(parse(text, &c), 0) << text;
        EXPECT_EQ(c.points, nullptr);
        EXPECT_EQ(c.count, 0);
    }
}

} // namespace
