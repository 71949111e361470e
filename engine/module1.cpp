#include "engine/module1.h"

#include <exception>
#include <optional>

#include "engine/textutil.h"

namespace quorvel::engine {

namespace {

// Runs one statement; a failure is kept as the pending error instead of propagating.
template <typename Statement>
std::optional<std::u16string> resumeNext(Statement&& statement) {
    try {
        statement();
        return std::nullopt;
    } catch (const std::exception& failure) {
        return describeFailure(failure);
    } catch (...) {
        return std::u16string(u"未知错误");
    }
}

// A call on an empty reference fails like any other statement.
template <typename T>
T& deref(const std::shared_ptr<T>& object) {
    if (!object) {
        throw AutomationError(kErrorObjectNotSet, u"对象变量未设置");
    }
    return *object;
}

// A connector that hands back no object has failed as well.
std::shared_ptr<Application> present(std::shared_ptr<Application> application) {
    if (!application) {
        throw AutomationError(kErrorObjectNotSet, u"对象变量未设置");
    }
    return application;
}

}  // namespace

std::u16string describeFailure(const std::exception& failure) {
    if (const auto* automation = dynamic_cast<const AutomationError*>(&failure)) {
        return automation->description();
    }
    return fromUtf8(failure.what());
}

Module1::Module1(HostConnector& connector, Messages& messages)
    : connector_(connector), messages_(messages) {}

void Module1::ConnectCad() {
    // An assignment that fails leaves its variable unchanged, so results go through locals.
    const auto attachFailure =
        resumeNext([this] { acadApp = present(connector_.attachRunning(kCadProgId)); });
    if (attachFailure) {
        const auto createFailure = resumeNext([this] {
            auto application = connector_.create(kCadProgId);
            acadApp = std::move(application);
        });
        if (createFailure) {
            messages_.showMessage(*createFailure, u"Quorvel", MessageIcon::None);
            return;
        }
    }
    resumeNext([this] { deref(acadApp).setVisible(true); });
    resumeNext([this] {
        auto document = deref(acadApp).ActiveDocument();
        acadDoc = std::move(document);
    });
    resumeNext([this] {
        auto space = deref(acadDoc).ModelSpace();
        acadModelSpace = std::move(space);
    });
    resumeNext([this] {
        auto space = deref(acadDoc).PaperSpace();
        acadPaperSpace = std::move(space);
    });
    resumeNext([this] {
        auto utility = deref(acadDoc).Utility();
        acadUtility = std::move(utility);
    });
}

}  // namespace quorvel::engine
