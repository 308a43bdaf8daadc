#include "Resources.h"

#include <QtGlobal>

static void initImages()
{
    Q_INIT_RESOURCE(orbelin_images);
}

void Resources::init()
{
    static bool done = false;
    if (!done) {
        initImages();
        done = true;
    }
}
