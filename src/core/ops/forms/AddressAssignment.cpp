#include "core/ops/forms/AddressAssignment.h"

#include "core/text/Messages.h"

namespace tarvo::ops {

text::Reason AddressAssignment::reason() const {
    switch (result) {
        case Result::Planned:
            return text::Reason::said(text::msg::kAssignPlanned);
        case Result::InPlace:
            return text::Reason::said(text::msg::kSiteInPlace);
        case Result::Written:
            return text::Reason::said(text::msg::kSiteApplyWritten);
        case Result::Moved:
            return text::Reason::said(text::msg::kAssignMoved);
        case Result::NotFound:
            return text::Reason::said(text::msg::kAssignNotFound);
        case Result::NotCamera:
            return text::Reason::said(text::msg::kAssignNotCamera);
        case Result::NoAddress:
            return text::Reason::said(text::msg::kAssignNoAddress);
        case Result::Refused: {
            auto r = text::Reason::said(text::msg::kAssignRefused);
            if (!detail.empty()) r.because(detail);
            return r;
        }
        case Result::NotMoved:
            return text::Reason::said(text::msg::kAssignNotMoved);
        case Result::NotSent:
            return text::Reason::said(text::msg::kBatchNotSent);
    }
    return {};
}

}  // namespace tarvo::ops
