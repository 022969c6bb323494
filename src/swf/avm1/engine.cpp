// The public face of the engine; the work is done by EngineImpl.
#include "swf/avm1/avm1.h"

namespace swf::avm1 {

class EngineImpl {
public:
    EngineImpl(Host& host, int version, Limits limits) : host(host), version(version), limits(limits) {}
    Host& host;
    int version;
    Limits limits;
    std::function<void(std::string_view)> trace;
    bool disabled = false;
    uint64_t actions = 0;
};

Engine::Engine(Host& host, int swfVersion, Limits limits)
    : impl_(std::make_unique<EngineImpl>(host, swfVersion, limits)) {}
Engine::~Engine() = default;

void Engine::setTraceSink(std::function<void(std::string_view)> sink) { impl_->trace = std::move(sink); }
void Engine::runActions(std::span<const uint8_t> bytes, DisplayId target) {
    runActions(bytes, target, impl_->version);
}
void Engine::runActions(std::span<const uint8_t>, DisplayId, int) {}
bool Engine::callHandler(DisplayId, std::string_view, std::span<const Argument>) { return false; }
bool Engine::hasHandler(DisplayId, std::string_view) { return false; }
void Engine::broadcastKey(KeyEvent) {}
void Engine::broadcastMouse(MouseEvent, double) {}
void Engine::broadcastStageResize() {}
void Engine::broadcastFocusChange(DisplayId, DisplayId) {}
void Engine::displayObjectCreated(DisplayId) {}
void Engine::displayObjectRemoved(DisplayId) {}
void Engine::advanceTime(double) {}
std::optional<std::string> Engine::getVariable(DisplayId, std::string_view) { return std::nullopt; }
void Engine::setVariable(DisplayId, std::string_view, std::string_view) {}
bool Engine::scriptsDisabled() const { return impl_->disabled; }
uint64_t Engine::actionCount() const { return impl_->actions; }
void Engine::collectGarbage() {}

}  // namespace swf::avm1
