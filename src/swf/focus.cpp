// Keyboard focus: which object has it, the order Tab walks, focus by mouse press on text
// fields, and the yellow rectangle drawn around a clip or button focused from the keyboard.
#include <QPainter>
#include <algorithm>

#include "swf/avm1/avm1.h"
#include "swf/instance.h"
#include "swf/player.h"
#include "swf/script_host.h"

namespace swf {
namespace {

constexpr double kHighlightThickness = 60;  // twips: three pixels at the stage's scale
const QColor kHighlightColor(255, 255, 0);

const EditTextDef* textFieldOf(const Instance& inst) {
    return inst.character ? std::get_if<EditTextDef>(inst.character) : nullptr;
}

// Handlers that make a movie clip act as a button.
constexpr const char* kButtonHandlers[] = {"onPress",   "onRelease",  "onReleaseOutside", "onRollOver",
                                           "onRollOut", "onDragOver", "onDragOut"};

}  // namespace

bool Player::isButtonMode(const Instance& inst) const {
    if (!inst.sprite) return false;
    if (inst.clipEvents() & (clip_event::kPress | clip_event::kRelease | clip_event::kReleaseOutside |
                             clip_event::kRollOver | clip_event::kRollOut | clip_event::kDragOver | clip_event::kDragOut))
        return true;
    if (!engine_) return false;
    for (const char* handler : kButtonHandlers)
        if (engine_->hasHandler(inst.serial, handler)) return true;
    return false;
}

bool Player::isFocusable(const Instance& inst) const {
    if (inst.isButton() || textFieldOf(inst)) return true;
    if (!inst.sprite) return false;
    if (isButtonMode(inst)) return true;
    return engine_ && engine_->booleanProperty(inst.serial, "focusEnabled").value_or(false);
}

bool Player::isTabbable(const Instance& inst) const {
    auto tabEnabled = [&](bool byDefault) {
        return engine_ ? engine_->booleanProperty(inst.serial, "tabEnabled").value_or(byDefault) : byDefault;
    };
    if (inst.isButton()) return tabEnabled(true);
    if (const EditTextDef* field = textFieldOf(inst)) return !field->readOnly && tabEnabled(true);
    if (inst.sprite) return tabEnabled(isButtonMode(inst) || inst.tabIndex.has_value());
    return false;
}

void Player::collectTabbable(const DisplayList& list, std::vector<Instance*>& out, int nesting) const {
    if (nesting > kMaxNesting) return;
    for (const auto& [depth, inst] : list) {
        if (!inst->visible) continue;
        if (isTabbable(*inst)) out.push_back(inst.get());
        if (inst->sprite && (!engine_ || engine_->booleanProperty(inst->serial, "tabChildren").value_or(true)))
            collectTabbable(inst->sprite->list, out, nesting + 1);
    }
}

QRectF Player::highlightBounds(const Instance& inst) const {
    if (!scriptHost_) return {};
    avm1::Rect b = scriptHost_->bounds(inst.serial, kRootSerial, true);
    if (b.xMin > b.xMax || b.yMin > b.yMax || std::abs(b.xMin) > 1e8) return {};
    return QRectF(QPointF(b.xMin * 20, b.yMin * 20), QPointF(b.xMax * 20, b.yMax * 20));
}

std::vector<Instance*> Player::tabOrder() const {
    std::vector<Instance*> order;
    collectTabbable(root_->list, order, 0);
    const bool custom = std::any_of(order.begin(), order.end(), [](const Instance* i) { return i->tabIndex.has_value(); });
    if (custom) {
        // Only objects with a tabIndex take part; equal indices keep the display order.
        std::erase_if(order, [](const Instance* i) { return !i->tabIndex; });
        std::stable_sort(order.begin(), order.end(),
                         [](const Instance* a, const Instance* b) { return *a->tabIndex < *b->tabIndex; });
        return order;
    }
    // Automatic order: by 6y + x of the top-left corner, so that an object slightly higher
    // on the same row still comes after the ones to its left. Of objects with the same key
    // only the first is visited.
    std::vector<std::pair<int64_t, Instance*>> keyed;
    for (Instance* inst : order) {
        QRectF b = highlightBounds(*inst);
        keyed.emplace_back(int64_t(std::floor(b.top())) * 6 + int64_t(std::floor(b.left())), inst);
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    keyed.erase(std::unique(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
                keyed.end());
    order.clear();
    for (auto& [key, inst] : keyed) order.push_back(inst);
    return order;
}

uint64_t Player::focusedObject() const { return instanceById(focusSerial_) ? focusSerial_ : 0; }

void Player::rollOverFocus(uint64_t serial) {
    // The focused object counts as the one under the mouse until the mouse moves again. It
    // is rolled out of and over again even when it stays the same.
    auto pointable = [&](uint64_t id) {
        const Instance* inst = instanceById(id);
        return inst && (inst->isButton() || inst->sprite);
    };
    const uint64_t old = hoverSerial_;
    hoverSerial_ = pointable(serial) ? serial : 0;
    hoverFromFocus_ = true;
    if (old) buttonTransition(old, 0, button_transition::kOverUpToIdle);
    if (hoverSerial_) buttonTransition(hoverSerial_, 1, button_transition::kIdleToOverUp);
}

void Player::changeFocus(uint64_t serial, bool byKeyboard) {
    rollOverFocus(serial);
    // From the keyboard, key listeners and the roll events come before the focus moves;
    // from scripts and clicks the roll events wait in the queue.
    if (byKeyboard) runQueuedActions();
    const uint64_t old = focusedObject();
    if (old != serial) {
        // Text an input method was composing in the field left behind stays there.
        commitComposition(old);
        focusSerial_ = serial;
        updateHighlight();
        dirty_ = true;
        if (engine_) {
            avm1::Argument toNew[] = {avm1::Argument::ofDisplay(serial)};
            avm1::Argument toOld[] = {avm1::Argument::ofDisplay(old)};
            if (old) engine_->callHandler(old, "onKillFocus", toNew);
            if (serial) engine_->callHandler(serial, "onSetFocus", toOld);
            engine_->broadcastFocusChange(old, serial);
        }
    }
    // A focused input field has its whole text selected.
    if (Instance* inst = instanceById(serial); inst && scriptHost_)
        if (const EditTextDef* field = textFieldOf(*inst); field && !field->readOnly)
            scriptHost_->setSelection(0, int(field->text.size()));
}

bool Player::focusFromScript(uint64_t serial) {
    if (serial == 0) {
        changeFocus(0, false);
        return true;
    }
    Instance* inst = instanceById(serial);
    if (!inst || !isFocusable(*inst)) return false;
    // Focus moved by a script arrives with nothing selected, as its listeners see it.
    if (scriptHost_ && serial != focusedObject()) scriptHost_->clearSelection();
    changeFocus(serial, false);
    return true;
}

void Player::cycleFocus(bool reverse) {
    std::vector<Instance*> order = tabOrder();
    if (order.empty()) return;
    if (reverse) std::reverse(order.begin(), order.end());
    const uint64_t current = focusedObject();
    Instance* next = order.front();
    auto at = std::find_if(order.begin(), order.end(), [&](const Instance* i) { return i->serial == current; });
    if (at != order.end() && at + 1 != order.end()) next = *(at + 1);
    changeFocus(next->serial, true);
    updateHighlight();
}

void Player::updateHighlight() {
    const Instance* inst = instanceById(focusedObject());
    FocusHighlight now = FocusHighlight::Off;
    if (inst) {
        // Text fields never show the rectangle; below SWF 6 only the stage's _focusrect counts.
        bool enabled = !textFieldOf(*inst) &&
                       (movie_->version >= 6 ? inst->focusRect.value_or(stageFocusRect_) : stageFocusRect_);
        QRectF b = enabled ? highlightBounds(*inst) : QRectF();
        now = enabled && b.width() > 0 && b.height() > 0 ? FocusHighlight::Shown : FocusHighlight::Hidden;
    }
    if (now != highlight_) dirty_ = true;
    highlight_ = now;
}

void Player::resetHighlight() {
    if (highlight_ != FocusHighlight::Off) dirty_ = true;
    highlight_ = FocusHighlight::Off;
}

Instance* Player::textFieldAt(QPointF viewPos) const {
    bool invertible = false;
    const QPointF stage = rootToView().inverted(&invertible).map(viewPos);
    if (!invertible) return nullptr;
    // Front to back: the first field whose box holds the point.
    std::function<Instance*(const DisplayList&, const QTransform&, int)> search =
        [&](const DisplayList& list, const QTransform& toStage, int nesting) -> Instance* {
        if (nesting > kMaxNesting) return nullptr;
        for (auto it = list.rbegin(); it != list.rend(); ++it) {
            Instance* inst = it->second.get();
            if (!inst->visible || inst->clipDepth) continue;
            const QTransform t = inst->matrix * toStage;
            if (inst->sprite) {
                if (Instance* hit = search(inst->sprite->list, t, nesting + 1)) return hit;
            } else if (const EditTextDef* field = textFieldOf(*inst); field && field->selectable) {
                // Fields that cannot be selected let the click through.
                bool ok = false;
                const QPointF local = t.inverted(&ok).map(stage);
                if (ok && field->bounds.contains(local)) return inst;
            }
        }
        return nullptr;
    };
    return search(root_->list, QTransform(), 0);
}

void Player::focusOnPress(QPointF viewPos) {
    // Clips and buttons do not take the focus from a click; selectable text fields do, and
    // clicking anything else takes it from them.
    if (Instance* field = pressedSerial_ ? nullptr : textFieldAt(viewPos)) {
        changeFocus(field->serial, false);
        startSelecting(*field);
        return;
    }
    if (const Instance* focused = instanceById(focusedObject()))
        if (const EditTextDef* f = textFieldOf(*focused); f && (!f->readOnly || f->selectable)) changeFocus(0, false);
}

void Player::drawFocusHighlight(QPainter& p) const {
    if (highlight_ != FocusHighlight::Shown) return;
    const Instance* inst = instanceById(focusedObject());
    if (!inst) return;
    const QRectF b = highlightBounds(*inst);
    if (b.isEmpty()) return;
    const double t = std::min({kHighlightThickness, b.width() / 2, b.height() / 2});
    QPainterPath frame;
    frame.addRect(b);
    frame.addRect(b.adjusted(t, t, -t, -t));  // odd-even fill leaves the inside open
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setTransform(viewTransform());
    p.fillPath(frame, kHighlightColor);
    p.restore();
}

}  // namespace swf
