#pragma once
// The program's link to the CAD host, shared by the batch run and the preview.

#include <memory>
#include <string>

#include "engine/automation.h"
#include "engine/services.h"

namespace quorvel::engine {

inline constexpr char16_t kCadProgId[] = u"AutoCAD.Application";

class Module1 {
public:
    Module1(HostConnector& connector, Messages& messages);

    // Attaches to a running host, else starts one, then makes it visible and caches its active
    // document's spaces. Each failing step is skipped and leaves its reference as it was; when
    // no host can be reached the failure's description is shown. Never raises.
    void ConnectCad();

    std::shared_ptr<Application> acadApp;
    // Cached at connect only; the runs always ask acadApp for its current document.
    std::shared_ptr<Document> acadDoc;
    std::shared_ptr<AutomationObject> acadModelSpace;
    std::shared_ptr<AutomationObject> acadPaperSpace;
    std::shared_ptr<AutomationObject> acadUtility;

private:
    HostConnector& connector_;
    Messages& messages_;
};

// The description a failure gives the user.
std::u16string describeFailure(const std::exception& failure);

}  // namespace quorvel::engine
