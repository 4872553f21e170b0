// A robot's gate launch on flat ground: full throttle with the clutch let in over a quarter
// second must not loop the bike.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "bike/bike.h"
#include "race/race.h"
#include "robot/robot_ride.h"
#include "support/ride_harness.h"

namespace {

// Four bikes of different power, each launched from idle and after nine seconds held at full
// throttle behind the gate (the engine at the limiter when the clutch comes in).
TEST(RobotLaunch, HeldAndIdleLaunchesStayOnBothWheelsOnFlatGround) {
    for (const char *model : {"crf250(2007)", "kx250f(2008)", "rmz450(2018)", "yz125"}) {
        for (int rev = 0; rev < 2; rev++) {
            ride_harness_flat(8, 2.0f);
            bike_record *b = ride_harness_bike(model, 0, 200, 0);
            ASSERT_NE(b, nullptr);
            robot_rider r = {};
            robot_rider_reset(&r, 1, 3);
            std::vector<robot_sample> path;
            for (int i = 0; i < 100; i++)
                path.push_back({{0, 0, 200.0f - 4 * i}, 40, 0});
            robot_path_append(&r.path, path.data(), (int)path.size());
            int drop = rev ? 9 * 128 : 0;
            ride_harness_race_reset(drop == 0);
            race.gate_drop_tic = drop;
            double maxfy = -9;
            int crashed = 0;
            double speed = 0;
            for (int t = 0; t < drop + 6 * 128; t++) {
                robot_update(b, &r);
                ride_harness_step();
                const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
                double fy = dBodyGetPosition(b->body[BIKE_FRONT_WHEEL])[1] - p[1];
                if (t > drop) maxfy = std::fmax(maxfy, fy);
                crashed |= bike_crashed(b);
                if (t == drop + 2 * 128 + 64)
                    speed =
                        std::sqrt(dCalcVectorLengthSquare3(dBodyGetLinearVel(b->body[BIKE_FRAME])));
            }
            // The front axle stays below the frame's centre: no wheelie, no loop.
            EXPECT_LT(maxfy, -0.3) << model << " held " << rev;
            EXPECT_EQ(crashed, 0) << model << " held " << rev;
            EXPECT_GT(speed, 25.0) << model << " held " << rev; // the launch really drove
            EXPECT_LT(speed, 50.0) << model << " held " << rev; // and speed control took over
            robot_path_free(&r.path);
            ride_harness_end();
        }
    }
}

} // namespace
