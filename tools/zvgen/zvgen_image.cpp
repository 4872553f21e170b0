// The pictures of the default data set: fonts, title and HUD pictures, sky and plain colours.
#include "zvgen.h"
#include "zvgen_image.h"

int zvgen_image(void) {
    return zvgen_image_fonts() && zvgen_image_hud() && zvgen_image_sky();
}
