#include "platform/Resources.h"

#include <QtGlobal>

// Outside any namespace, as the resource macro requires.
static void initialiseVelmoraResources() {
    Q_INIT_RESOURCE(velmora);
}

namespace Resources {

void initialise() {
    static const bool done = [] {
        initialiseVelmoraResources();
        return true;
    }();
    Q_UNUSED(done);
}

} // namespace Resources
