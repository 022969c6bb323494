#include "assets.h"

#include <QtCore/qglobal.h>

// Q_INIT_RESOURCE must be used outside any namespace.
static void registerAssetResources() { Q_INIT_RESOURCE(assets); }

namespace assets {

void initAssets() { registerAssetResources(); }

}  // namespace assets
