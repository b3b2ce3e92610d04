#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/protocol/CCamClient.h"

namespace tarvo::discovery {
class DiscoveryEngine;
}

namespace tarvo::text {
class Notifier;
}

namespace tarvo::ops {

class Dialogs;
class SettingsOperations;

// The part of discovery a search drives.
class SearchTarget {
public:
    virtual ~SearchTarget() = default;
    virtual void setIgnoreReplies(bool ignore) = 0;
    virtual void startSearch() = 0;
};

// The TCP exchanges the window makes itself. They may run on any thread: they show nothing and
// hand their message back in the outcome.
class DeviceActions {
public:
    virtual ~DeviceActions() = default;
    virtual protocol::Outcome loginCheck(const protocol::LoginInfo& target) = 0;
    virtual protocol::Outcome rebootDevice(const protocol::LoginInfo& target) = 0;
};

// SearchTarget over the discovery engine.
class EngineSearch final : public SearchTarget {
public:
    explicit EngineSearch(discovery::DiscoveryEngine& engine) : engine_(engine) {}
    void setIgnoreReplies(bool ignore) override;
    void startSearch() override;

private:
    discovery::DiscoveryEngine& engine_;
};

// DeviceActions over real connections.
class NetworkDeviceActions final : public DeviceActions {
public:
    protocol::Outcome loginCheck(const protocol::LoginInfo& target) override;
    protocol::Outcome rebootDevice(const protocol::LoginInfo& target) override;
};

// What the selection reads of a list row: its address and device type code.
struct RowHit {
    std::u16string address;
    int type = 0;
};

// The main window's selection and every device operation it starts, independent of widgets.
// All calls come from the window's thread.
class MainPresenter {
public:
    static constexpr std::uint32_t kSearchDebounceMs = 4000;
    static constexpr int kSearchWaitMs = 1000;

    MainPresenter(Dialogs& dialogs, text::Notifier& notifier, SearchTarget& search,
                  DeviceActions& actions, std::function<std::uint32_t()> tick = {});

    // The settings flows the network, camera and cloud operations run (their windows come from
    // the flows' own dialogs). Without them those operations stop after their login.
    void setSettings(SettingsOperations* settings) { settings_ = settings; }

    // The search button: at most one search per four seconds.
    void search();

    // Selection. `hit` is the clicked row, or nothing for a click beside the rows.
    // A left click returns the new enabled state of the preview button, or nothing when the
    // button keeps its state.
    std::optional<bool> leftClick(const std::optional<RowHit>& hit);
    // True when the context menu is to be shown.
    bool rightClick(const std::optional<RowHit>& hit);
    void doubleClick(const std::optional<RowHit>& hit);

    // Device operations; each starts with the selection check and the device type rules.
    void preview();
    void networkSettings();  // also the context menu's "修改"
    void parameterConfiguration();
    void upgrade();
    void reboot();
    void cloudSettings();

    [[nodiscard]] const std::u16string& selectedAddress() const { return selectedAddress_; }
    [[nodiscard]] int selectedType() const { return selectedType_; }
    void clearSelection() { selectedAddress_.clear(); }
    [[nodiscard]] std::uint32_t lastSearchTick() const { return lastSearchTick_; }
    // True while an operation runs; a second one is refused meanwhile.
    [[nodiscard]] bool busy() const { return busy_; }

private:
    // The selection check; false (after the message) when nothing is selected.
    bool requireSelection();
    // Login dialog, then the login check; the target on success.
    std::optional<protocol::LoginInfo> loginAndCheck(int port, bool nvrMode);
    std::optional<protocol::LoginInfo> loginOnly(int port, bool nvrMode);
    // One exchange of `actions_` off the window's thread; its message is told here. False when
    // it failed or the user cancelled the wait.
    bool runAction(protocol::Outcome (DeviceActions::*action)(const protocol::LoginInfo&),
                   const protocol::LoginInfo& target);
    std::string addressText() const;

    Dialogs& dialogs_;
    text::Notifier& notifier_;
    SearchTarget& search_;
    DeviceActions& actions_;
    SettingsOperations* settings_ = nullptr;
    std::function<std::uint32_t()> tick_;

    std::u16string selectedAddress_;
    int selectedType_ = 0;
    std::uint32_t lastSearchTick_ = 0;
    bool busy_ = false;
};

}  // namespace tarvo::ops
