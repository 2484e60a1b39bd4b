#include "engine/view/EngineStartup.h"

#include <cstdlib>
#include <memory>

#include <QCoreApplication>

#include "core/Errors.h"
#include "engine/layers/Layer.h"
#include "engine/layers/Layers.h"
#include "engine/network/Network.h"
#include "engine/view/Cursors.h"
#include "platform/settings/Settings.h"

namespace {

bool started = false;
std::unique_ptr<TLayer> clipboard;
QString clipboardError;

void StopAtExit() { StopEngine(); }

}  // namespace

int StartEngine() {
    if (started) return 0;
    started = true;
    // The object and layer libraries register their own classes when
    // their registries are first used; classes of libraries that build on
    // them register here.
    RegisterGraphClasses();

    const int cursors = LoadToolCursors(ToolCursorFolder());

    auto layer = std::make_unique<TLayer>();
    layer->SetDatabaseName(Settings::UserDataFolder());
    layer->SetLayerName(QString::fromLatin1(kClipboardLayerName));
    layer->SetVisible(false);
    try {
        layer->CreateLayerFile();
        layer->Open();
        layer->Edit();
        clipboard = std::move(layer);
    } catch (const EEngineError& e) {
        clipboardError = e.Message();
    }
    if (QCoreApplication::instance() != nullptr) qAddPostRoutine(StopAtExit);
    else std::atexit(StopAtExit);
    return cursors;
}

void StopEngine() { clipboard.reset(); }

TLayer* ClipboardLayer() { return clipboard.get(); }
QString ClipboardError() { return clipboardError; }
