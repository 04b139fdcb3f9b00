#include "cli/EccOption.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/Session.h"

bool EccGiven(const Session& session) { return session.args.Has("--ecc") || session.args.Has("--ecc-layout"); }

int TakeEccScheme(Session& session, EccScheme& scheme) {
    const Args& args = session.args;
    std::string why;
    if (args.Has("--ecc") && args.Has("--ecc-layout"))
        return session.UsageError("--ecc and --ecc-layout name the ECC twice: give one");
    if (args.Has("--ecc")) {
        if (!ParseEccScheme(args.Text("--ecc"), scheme, why)) return session.UsageError("--ecc: " + why);
    } else if (args.Has("--ecc-layout")) {
        errno = 0;
        if (!ReadEccLayoutFile(args.Text("--ecc-layout"), scheme, why)) {
            session.Say("--ecc-layout: " + why);
            return errno != 0 && why.find(std::strerror(errno)) != std::string::npos ? EXIT_FILE : EXIT_USAGE;
        }
    } else {
        return session.UsageError(std::string(session.command.name) + " needs the device's ECC: --ecc SCHEME (" +
                                  EccSchemeNames() + ") or --ecc-layout FILE");
    }
    return 0;
}

int SetUpEcc(Session& session, const EccScheme& scheme, const Geometry& g, PageEcc& ecc) {
    std::string why;
    if (!ecc.Setup(scheme, g.pageSize, g.spareSize, why)) return session.UsageError(why);
    return 0;
}

int ChipEcc::Take(Session& session) {
    given_ = EccGiven(session);
    if (!given_ && session.args.Has("--ecc-fix"))
        return session.UsageError("--ecc-fix needs the device's ECC: --ecc SCHEME or --ecc-layout FILE");
    return given_ ? TakeEccScheme(session, scheme_) : 0;
}

int ChipEcc::SetUp(Session& session, const Geometry& g) {
    if (!given_) return 0;
    if (const int status = SetUpEcc(session, scheme_, g, ecc_)) return status;
    use_.ecc = &ecc_;
    use_.fix = session.args.Has("--ecc-fix");
    return 0;
}
