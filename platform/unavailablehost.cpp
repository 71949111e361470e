#include "platform/unavailablehost.h"

namespace quorvel::platform {

namespace {

constexpr std::int32_t kCannotCreateObject = 429;

}  // namespace

std::shared_ptr<engine::Application> UnavailableHostConnector::attachRunning(
    const std::u16string&) {
    throw engine::AutomationError(kCannotCreateObject, u"没有正在运行的 CAD 主机");
}

std::shared_ptr<engine::Application> UnavailableHostConnector::create(const std::u16string&) {
    throw engine::AutomationError(kCannotCreateObject, u"无法启动 CAD 主机：本程序未配置主机连接");
}

void UnavailableWindowControl::activateByTitle(const std::u16string&) {
    throw engine::AutomationError(engine::kErrorInvalidCall, u"找不到 CAD 主机窗口");
}

void UnavailableWindowControl::sendKeys(const std::u16string&, bool) {
    throw engine::AutomationError(engine::kErrorInvalidCall, u"找不到 CAD 主机窗口");
}

}  // namespace quorvel::platform
