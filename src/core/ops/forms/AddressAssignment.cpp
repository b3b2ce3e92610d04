#include "core/ops/forms/AddressAssignment.h"

namespace tarvo::ops {

text::Reason AddressAssignment::reason() const {
    switch (result) {
        case Result::Planned:
            return text::Reason::of("AssignPlanned");
        case Result::InPlace:
            return text::Reason::of("SiteInPlace");
        case Result::Written:
            return text::Reason::of("SiteApplyWritten");
        case Result::Moved:
            return text::Reason::of("AssignMoved");
        case Result::NotFound:
            return text::Reason::of("AssignNotFound");
        case Result::NotCamera:
            return text::Reason::of("AssignNotCamera");
        case Result::NoAddress:
            return text::Reason::of("AssignNoAddress");
        case Result::Refused: {
            auto r = text::Reason::of("AssignRefused");
            if (!detail.empty()) r.because(detail);
            return r;
        }
        case Result::NotMoved:
            return text::Reason::of("AssignNotMoved");
        case Result::NotSent:
            return text::Reason::of("BatchNotSent");
    }
    return {};
}

}  // namespace tarvo::ops
