#include "core/ops/presenter/MainPresenter.h"

#include "core/discovery/DeviceCapabilities.h"
#include "core/discovery/DeviceTypes.h"
#include "core/discovery/DiscoveryEngine.h"
#include "core/net/Clock.h"
#include "core/ops/forms/LoginForm.h"
#include "core/ops/forms/SettingsFlows.h"
#include "core/ops/presenter/Dialogs.h"
#include "core/protocol/CommandCodes.h"
#include "core/protocol/DeviceCommands.h"
#include "core/text/Messages.h"
#include "core/text/Notifier.h"
#include "core/text/TextConvert.h"

namespace tarvo::ops {

using discovery::allows;
using discovery::capabilitiesOf;
using discovery::Operation;
using discovery::UpgradeKind;

namespace {

constexpr int kCameraPort = protocol::kCameraCommandPort;

// Marks the presenter busy for one operation, so that nothing started from a nested event loop
// (a wait, a modal window) runs inside it.
class BusyScope {
public:
    explicit BusyScope(bool& busy) : busy_(busy), entered_(!busy) { busy_ = true; }
    ~BusyScope() {
        if (entered_) busy_ = false;
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
    [[nodiscard]] bool entered() const { return entered_; }

private:
    bool& busy_;
    bool entered_;
};

}  // namespace

void EngineSearch::setIgnoreReplies(bool ignore) {
    engine_.setIgnoreReplies(ignore);
}
void EngineSearch::startSearch() {
    engine_.startSearch();
}

protocol::Outcome NetworkDeviceActions::loginCheck(const protocol::LoginInfo& target) {
    return protocol::loginCheck(target);
}

protocol::Outcome NetworkDeviceActions::rebootDevice(const protocol::LoginInfo& target) {
    return protocol::rebootDevice(target);
}

MainPresenter::MainPresenter(Dialogs& dialogs, text::Notifier& notifier, SearchTarget& search,
                             DeviceActions& actions, std::function<std::uint32_t()> tick)
    : dialogs_(dialogs),
      notifier_(notifier),
      search_(search),
      actions_(actions),
      tick_(tick ? std::move(tick) : std::function<std::uint32_t()>(net::tickMs)) {}

void MainPresenter::search() {
    BusyScope scope(busy_);
    if (!scope.entered()) return;
    // Unsigned difference: correct across the wrap of the 32-bit tick.
    if (static_cast<std::uint32_t>(tick_() - lastSearchTick_) < kSearchDebounceMs) return;
    search_.setIgnoreReplies(true);
    dialogs_.waitMs(kSearchWaitMs);
    search_.startSearch();
    lastSearchTick_ = tick_();
}

std::optional<bool> MainPresenter::leftClick(const std::optional<RowHit>& hit) {
    selectedAddress_.clear();
    selectedType_ = 0;
    if (!hit) return std::nullopt;
    selectedAddress_ = hit->address;
    selectedType_ = hit->type;
    return hit->type != discovery::kTypeDecoderNoPreview;
}

bool MainPresenter::rightClick(const std::optional<RowHit>& hit) {
    selectedAddress_.clear();
    if (!hit) return false;
    selectedAddress_ = hit->address;
    selectedType_ = hit->type;
    return true;
}

void MainPresenter::doubleClick(const std::optional<RowHit>& hit) {
    selectedAddress_.clear();
    if (hit) selectedAddress_ = hit->address;
    if (selectedAddress_.empty()) return;
    selectedType_ = hit->type;
    dialogs_.openUrl(u"http://" + selectedAddress_);
}

bool MainPresenter::requireSelection() {
    if (!selectedAddress_.empty()) return true;
    notifier_.message(text::msg::kSelectDeviceFirst);
    return false;
}

std::string MainPresenter::addressText() const {
    return text::toUtf8(selectedAddress_);
}

std::optional<protocol::LoginInfo> MainPresenter::loginOnly(int port, bool nvrMode) {
    const LoginDialogResult login = dialogs_.runLogin(port, nvrMode);
    if (!login.accepted) return std::nullopt;
    // The dialog only confirms ports within 5000..6000, so the value fits.
    return protocol::makeLoginInfo(addressText(), static_cast<std::uint16_t>(login.port),
                                   login.user, login.password, login.streamChoice, selectedType_);
}

bool MainPresenter::runAction(
    protocol::Outcome (DeviceActions::*action)(const protocol::LoginInfo&),
    const protocol::LoginInfo& target) {
    // The step gets its own copy of the target: the window may go on while it runs.
    const auto outcome = dialogs_.runNetworkStep(
        [&actions = actions_, action, target] { return (actions.*action)(target); });
    return outcome && outcome->report(notifier_);
}

std::optional<protocol::LoginInfo> MainPresenter::loginAndCheck(int port, bool nvrMode) {
    auto target = loginOnly(port, nvrMode);
    if (!target || !runAction(&DeviceActions::loginCheck, *target)) return std::nullopt;
    return target;
}

void MainPresenter::preview() {
    BusyScope scope(busy_);
    if (!scope.entered() || !requireSelection() || !allows(selectedType_, Operation::Preview))
        return;
    const auto target = loginAndCheck(capabilitiesOf(selectedType_).previewPort, false);
    if (target) dialogs_.runPreview(*target);
}

void MainPresenter::networkSettings() {
    BusyScope scope(busy_);
    if (!scope.entered() || !requireSelection()) return;
    if (!allows(selectedType_, Operation::NetworkSettings)) return;
    if (settings_ != nullptr) settings_->networkSettings(addressText(), selectedType_);
    // The device may have moved and the list was searched anew: the old selection is gone,
    // whether the user confirmed or cancelled.
    clearSelection();
}

void MainPresenter::parameterConfiguration() {
    BusyScope scope(busy_);
    if (!scope.entered() || !requireSelection()) return;
    if (allows(selectedType_, Operation::NvrResolution)) {
        // The NVR configuration connects on its own; no login check here.
        const auto target = loginOnly(kCameraPort, true);
        if (target) dialogs_.runNvrConfig(target->address, target->port);
        return;
    }
    if (!allows(selectedType_, Operation::CameraConfig)) return;
    // Of the camera configuration's login only the port is used.
    const auto target = loginOnly(kCameraPort, false);
    if (target && settings_ != nullptr)
        settings_->cameraConfig(target->address, selectedType_, target->port);
}

void MainPresenter::upgrade() {
    BusyScope scope(busy_);
    if (!scope.entered() || !requireSelection()) return;
    const UpgradeKind kind = capabilitiesOf(selectedType_).upgrade;
    if (kind == UpgradeKind::None) return;
    const bool nvr = kind == UpgradeKind::Nvr;
    const auto target = loginAndCheck(kCameraPort, nvr);
    if (!target) return;
    if (nvr) {
        dialogs_.runNvrUpgrade(target->address, target->port);
    } else {
        dialogs_.runCameraUpgrade(target->address, target->port);
    }
}

void MainPresenter::reboot() {
    BusyScope scope(busy_);
    if (!scope.entered() || !requireSelection()) return;
    if (!allows(selectedType_, Operation::Reboot)) return;
    const auto target = loginOnly(kCameraPort, false);
    if (target) runAction(&DeviceActions::rebootDevice, *target);
}

void MainPresenter::cloudSettings() {
    BusyScope scope(busy_);
    if (!scope.entered() || !requireSelection()) return;
    if (!allows(selectedType_, Operation::Cloud)) return;
    const auto target = loginAndCheck(kCameraPort, false);
    if (!target) return;
    if (settings_ != nullptr) settings_->cloudSettings(target->address);
    clearSelection();
}

}  // namespace tarvo::ops
