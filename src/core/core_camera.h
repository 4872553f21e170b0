// Camera helpers of the main loop's views: the smoothed ground height the cameras keep clear
// of, and the chase / orbit camera placement of view 3.
#pragma once

// Weighted mean of the terrain's height samples around (x, z): weight 1 within 10 units,
// falling linearly to 0 over one grid spacing beyond that. 0 without a terrain.
float core_camera_ground_height(float x, float z);

struct core_chase_input {
    float centre[3];   // chase-centre point already placed in the bike's frame
    float heading[2];  // bike's forward direction on the ground (x, z); need not be unit
    float velocity[3]; // bike's velocity
    int riding;        // trail the bike; otherwise orbit at the loop's yaw/distance/height
    int rigid;         // "Rigid 3rd person camera": heading only
    float distance;    // "3rd Person Distance" (riding) or orbit distance
    float height;      // "3rd Person Height" (riding) or orbit height
    float yaw;         // orbit yaw (radians)
};

// Eye position; the camera looks at the centre.
void core_camera_chase(const core_chase_input *in, float eye[3]);
