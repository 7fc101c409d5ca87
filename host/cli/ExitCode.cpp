#include "host/cli/ExitCode.h"

namespace marvex {

ExitCode exitCodeFor(HostErrorKind kind) {
    switch (kind) {
        case HostErrorKind::Input:
            return ExitCode::InputError;
        case HostErrorKind::Output:
            return ExitCode::OutputError;
        case HostErrorKind::Refused:
            return ExitCode::UnitRefused;
        case HostErrorKind::Plugin:
            return ExitCode::PluginError;
        case HostErrorKind::Failed:
        case HostErrorKind::Internal:
            break;
    }
    return ExitCode::Failure;
}

}  // namespace marvex
