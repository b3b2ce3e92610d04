#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/discovery/DeviceTable.h"
#include "core/ops/forms/UpgradeSequence.h"
#include "core/text/Reason.h"

namespace tarvo::site {

// Firmware for many devices, each confirmed by reading its version back once it answers again:
//
//   devices = findUpgradeTargets(addresses, seconds);     // one search: type and MAC of each
//   results = runGuardedUpgrade(devices, options, hooks);
//
// The front end uploads (hooks.upload: the one upgrade sequence, its own progress); this runs
// the uploads, --parallel at once. A device that took its package leaves its slot to the next
// upload at once (a device restarts for minutes): it is waited for beside the uploads, by
// searches now and then for every device on its way back, until it answers again with a new
// version or the wait is over. With `canary`
// the first device goes alone, and the rest only once it came back upgraded; then the first
// failure starts nothing more (running ones finish) unless `keepGoing`. A canary that fails
// always stops the batch: it is the guard. With a site, each device's upgrade is an action
// (committed before its first frame) and each version read an observation.
//
// "Upgraded" is read conservatively, since a search reply carries no version: the device
// answers its version query again, and that version differs from the one it had before the
// upload; when the package names a version (a camera package, NN.NN.NN.NN at character 12 of
// its name), the device must say exactly that one.

struct UpgradeTarget {
    std::string address;
    std::optional<int> type;  // nothing: the device did not answer the search
    std::string mac;          // as the search heard it; may be empty
};

// One search on every local network for `addresses`; `given` (a type for all, from the command
// line) spares the search but then no MAC is known.
std::vector<UpgradeTarget> findUpgradeTargets(const std::vector<std::string>& addresses,
                                              std::optional<int> given, double seconds);

// What the front end's upload of one device did.
using UploadAttempt = ops::UploadAttempt;

enum class ReadBack {
    NotAsked,      // nothing was uploaded, or the batch stopped first
    NewVersion,    // back with the new version: upgraded
    OldVersion,    // back, but still with its old version when the wait was over
    OtherVersion,  // back with a version that is neither the old nor the package's
    NoVersion,     // answers the search, not the version query
    NotBack,       // no search found it again within the wait
};

struct GuardedResult {
    std::string address;
    bool started = false;  // false: not worked on, an earlier failure stopped the batch
    // The package does not fit this device (upload.detail says why): the batch sent nothing.
    bool misfit = false;
    std::string stoppedBy;  // not started: the address of the device the package did not fit
    UploadAttempt upload;
    ReadBack readBack = ReadBack::NotAsked;
    std::u16string newVersion;  // the last version read back
    [[nodiscard]] bool upgraded() const { return readBack == ReadBack::NewVersion; }
    // "old -> new", or why not: kept as a key, for the site's record.
    [[nodiscard]] text::Reason reason() const;
    // The same in the language shown.
    [[nodiscard]] std::u16string text() const;
};

struct GuardedOptions {
    std::string packagePath;
    std::optional<int> port;  // nothing: each device type's default
    bool canary = false;
    bool keepGoing = false;
    int parallel = 4;
    std::chrono::milliseconds wait{std::chrono::seconds(300)};
    // Between two looks for devices that have not come back yet: short, since a device is
    // found only by a search that starts after it is back.
    std::chrono::milliseconds pollInterval{500};
    std::string sitePath;       // empty: no site
    std::string packageSha256;  // for the site's record
};

// The front end's part, called on the batch's worker threads (any of them at once).
struct GuardedHooks {
    // The upgrade sequence for device `i` up to the device's answer.
    std::function<UploadAttempt(std::size_t i)> upload;
    // The upload was accepted; the device is waited for.
    std::function<void(std::size_t i)> waiting;
    // Device `i` is done (not called for devices the batch did not start).
    std::function<void(std::size_t i, const GuardedResult&)> finished;
};

// Blocking; front ends call it off their UI thread. Before the first frame, the package is
// checked against every device (packageMisfit, with the version each camera says): one it does
// not fit stops the whole batch, nothing is sent to any device, and that device's result names
// why. An upload slot is free again as soon as its device took the package: the waits for the
// devices to come back run beside the uploads, all on one search at a time. `stop`, when set, ends
// the waits and starts nothing more. Site failures are reported through `siteError` (the batch goes
// on: the devices matter more than their record) and never thrown.
std::vector<GuardedResult> runGuardedUpgrade(const std::vector<UpgradeTarget>& devices,
                                             const GuardedOptions& options,
                                             const GuardedHooks& hooks,
                                             const std::atomic<bool>* stop = nullptr,
                                             std::string* siteError = nullptr);

// Why the package at `packagePath` does not fit a device of `type` that said `version` (empty:
// no answer): a type that takes no firmware, an NVR file that names no part, a camera package
// without its version or of another camera type, a name too long for frame A. Nothing when it
// fits. Whether it is newer stays the upload's own rule: a device that runs it already refuses
// it by itself, and the batch goes on.
std::optional<text::Reason> packageMisfit(int type, std::string_view packagePath,
                                          std::u16string_view version);

// The package's file name, whatever form its path was given in (a bare name included).
std::string packageFileName(const std::string& packagePath);

// The version a package's name promises (u"v" + NN.NN.NN.NN from character 12), empty when its
// name names none.
std::u16string packageVersion(std::u16string_view fileName);
// Whether `now`, read back after an upload of `fileName` to a device that said `before`, shows
// the device upgraded (see above).
bool isUpgradedVersion(std::u16string_view before, std::u16string_view now,
                       std::u16string_view fileName);

}  // namespace tarvo::site
