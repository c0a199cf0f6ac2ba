#include "extensions.h"

#include "amigascene.h"
#include "overlay.h"
#include "raymarchedscene.h"
#include "stockextensions.h"

void registerExtensions() {
    registerStockExtensions();
    RaymarchedScene::registerExtension();
    AmigaScene::registerExtension();
    OverlayEffect::registerExtension();
}
