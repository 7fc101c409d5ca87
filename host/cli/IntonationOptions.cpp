#include "host/cli/IntonationOptions.h"

#include "host/cli/ExitCode.h"

namespace marvex {

std::optional<Intonation> intonationOf(const IntonationOptions& options) {
    const auto tonic = pitchClassOf(options.tonic);
    if (!tonic) throw CommandError(ExitCode::Usage, "unknown tonic '" + options.tonic + "'");
    if (!options.scalaFile.empty())
        return Intonation{
            Temperament::fromScala(readScalaFile(options.scalaFile), options.scalaFile), *tonic};
    const auto temperament = Temperament::named(options.temperament);
    if (!temperament)
        throw CommandError(ExitCode::Usage, "unknown temperament '" + options.temperament + "'");
    if (options.temperament == "equal") return {};
    return Intonation{*temperament, *tonic};
}

}  // namespace marvex
