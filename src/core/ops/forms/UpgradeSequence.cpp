#include "core/ops/forms/UpgradeSequence.h"

#include "core/net/Connect.h"
#include "core/protocol/DeviceCommands.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"

namespace tarvo::ops {

std::optional<upgrade::NvrPart> partRule(bool nvr, std::string_view packagePath) {
    if (!nvr) return std::nullopt;
    return upgrade::nvrPartOfPath(packagePath);
}

protocol::Outcome checkLogin(const UpgradeRequest& request) {
    return protocol::loginCheck(protocol::makeLoginInfo(request.address, request.port, request.user,
                                                        request.password, 0, request.type));
}

UpgradeConnection openConnection(const upgrade::UpgradeProfile& profile, std::string_view address,
                                 std::uint16_t port) {
    UpgradeConnection connection;
    if (!net::connectSocket(address, port, connection.socket, profile.ioTimeoutMs))
        return connection;
    auto answer = upgrade::askVersion(profile, connection.socket);
    connection.version = std::move(answer.version);
    connection.versionUnanswered = answer.unanswered;
    return connection;
}

std::u16string_view connectFailedText(bool nvr) {
    return nvr ? text::msg::kNvrConnectFailed : text::msg::kConnectCameraFailed;
}

UpgradeProgress runUpgrade(const UpgradeRequest& request, upgrade::FirmwareUploader& uploader,
                           const std::function<bool()>& stopped) {
    UpgradeProgress progress;
    const auto stop = [&] { return stopped && stopped(); };
    const auto fail = [&](UpgradeStep step, protocol::Outcome outcome) {
        progress.reached = step;
        progress.outcome = std::move(outcome);
        return progress;
    };

    // The name travels in a field of its own: one that does not fit is refused before the
    // login, as the uploader would refuse it before its first frame.
    if (!upgrade::fitsUploadNameField(text::fromUtf8(upgrade::fileNameOf(request.packagePath))))
        return fail(UpgradeStep::Package,
                    protocol::Outcome::failure(text::msg::kUpgradeFileNameTooLong));
    if (request.nvr) {
        progress.part = partRule(true, request.packagePath);
        if (!progress.part)
            return fail(UpgradeStep::PartRule,
                        protocol::Outcome::failure(text::msg::kWrongUpgradeFile));
    }
    if (stop()) return fail(UpgradeStep::Login, {});
    protocol::Outcome login = checkLogin(request);
    if (!login.ok) return fail(UpgradeStep::Login, std::move(login));
    if (stop()) return fail(UpgradeStep::Connect, {});
    UpgradeConnection connection =
        openConnection(request.nvr ? upgrade::nvrUpgrade() : upgrade::cameraUpgrade(),
                       request.address, request.port);
    if (!connection.socket)
        return fail(UpgradeStep::Connect,
                    protocol::Outcome::failure(connectFailedText(request.nvr)));
    progress.version = connection.version;
    if (!request.nvr && connection.version.empty()) {
        // Without its version the camera's package cannot be judged: say why rather than let
        // the upload call the package wrong.
        const auto seconds = (upgrade::cameraUpgrade().ioTimeoutMs + 999) / 1000;
        progress.why = connection.versionUnanswered
                           ? text::Reason::said(text::msg::kVersionNoAnswerFormat,
                                                {text::Reason::literal(request.address),
                                                 text::Reason::literal(std::to_string(seconds))})
                           : text::Reason::said(text::msg::kVersionQueryFailed);
        return fail(UpgradeStep::Version, protocol::Outcome::failure(text::show(progress.why)));
    }
    if (!uploader.adopt(std::move(connection.socket), std::move(connection.version)))
        return fail(UpgradeStep::Start, {});
    if (stop()) return fail(UpgradeStep::Start, {});
    if (!uploader.start(request.packagePath)) return fail(UpgradeStep::Start, {});
    progress.reached = UpgradeStep::Started;
    return progress;
}

UploadAttempt attemptOf(const UpgradeProgress& steps, bool nvr,
                        const std::optional<upgrade::UploadOutcome>& outcome) {
    using text::Reason;
    UploadAttempt attempt;
    attempt.oldVersion = steps.version;
    switch (steps.reached) {
        case UpgradeStep::Package:
            attempt.detail = Reason::said(text::msg::kUpgradeFileNameTooLong);
            return attempt;
        case UpgradeStep::PartRule:
            attempt.detail = Reason::said(text::msg::kWrongUpgradeFile);
            return attempt;
        case UpgradeStep::Connect:
            attempt.detail = Reason::of(nvr ? "NvrConnectFailed" : "ConnectCameraFailed");
            return attempt;
        case UpgradeStep::Login:
            attempt.detail = steps.outcome.message.empty()
                                 ? Reason::said(text::msg::kControlFailed)
                                 : Reason::recognise(steps.outcome.message);
            return attempt;
        case UpgradeStep::Version:
            attempt.detail = steps.why;
            return attempt;
        case UpgradeStep::Start:
            // Refused only while the device receives a package from elsewhere.
            attempt.detail = Reason::said(text::msg::kUploadRunning);
            return attempt;
        case UpgradeStep::Started:
            break;
    }
    if (!outcome) {
        attempt.detail = Reason::said(text::msg::kBatchFailed);
        return attempt;
    }
    using enum upgrade::UploadStatus;
    attempt.accepted = outcome->status == Accepted;
    attempt.sentAnything = !upgrade::nothingSent(outcome->status);
    if (attempt.accepted) return attempt;
    if (!outcome->message.empty()) {
        attempt.detail = Reason::recognise(outcome->message);
    } else if (outcome->status == NotNewer) {
        attempt.detail = Reason::said(text::msg::kBatchNotNewer);
    } else if (outcome->status == NotConnected) {
        attempt.detail = Reason::said(text::msg::kBatchNotConnected);
    } else if (outcome->status == WrongFile) {
        attempt.detail = Reason::said(text::msg::kWrongUpgradeFile);
    } else {
        attempt.detail = Reason::said(text::msg::kBatchFailed);
    }
    return attempt;
}

UploadAttempt attemptNotRun(std::string_view address, std::optional<int> type) {
    using text::Reason;
    UploadAttempt attempt;
    attempt.detail = type ? Reason::said(text::msg::kGuardNoFirmwareFormat,
                                         {Reason::literal(std::to_string(*type))})
                          : Reason::said(text::msg::kDeviceNotHeardFormat,
                                         {Reason::literal(std::string(address))});
    return attempt;
}

}  // namespace tarvo::ops
