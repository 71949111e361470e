#include "cadhost/dxf/drawing.h"

// Placeholder so that the host can build against the interface; the engine follows.
namespace quorvel::dxf {

namespace {
[[noreturn]] void notYet() {
    throw DxfError(DxfError::Kind::Format, "图形引擎尚未完成");
}
}  // namespace

struct Drawing::Impl {};

bool isJustifyOption(std::string_view) {
    return false;
}
std::filesystem::path backupPathFor(const std::filesystem::path& drawingFile) {
    auto backup = drawingFile;
    backup.replace_extension(".bak");
    return backup;
}

Drawing::Drawing(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Drawing::Drawing(Drawing&&) noexcept = default;
Drawing& Drawing::operator=(Drawing&&) noexcept = default;
Drawing::~Drawing() = default;

Drawing Drawing::load(const std::filesystem::path&) {
    notYet();
}
Drawing Drawing::fromBytes(std::string) {
    notYet();
}
Drawing Drawing::fromTemplate(const std::filesystem::path&) {
    notYet();
}
std::string Drawing::toBytes() const {
    notYet();
}
void Drawing::save(const std::filesystem::path&) {
    notYet();
}
bool Drawing::isModified() const noexcept {
    return false;
}
std::string Drawing::version() const {
    notYet();
}
std::string Drawing::codePage() const {
    notYet();
}
std::vector<EntityId> Drawing::select(const std::vector<std::int16_t>&,
                                      const std::vector<std::string>&) const {
    notYet();
}
bool Drawing::exists(EntityId) const noexcept {
    return false;
}
std::string Drawing::entityType(EntityId) const {
    notYet();
}
std::string Drawing::handle(EntityId) const {
    notYet();
}
std::optional<EntityInfo> Drawing::entity(EntityId) const {
    notYet();
}
std::string Drawing::text(EntityId) const {
    notYet();
}
void Drawing::setText(EntityId, std::string_view) {
    notYet();
}
double Drawing::height(EntityId) const {
    notYet();
}
void Drawing::setHeight(EntityId, double) {
    notYet();
}
void Drawing::justify(EntityId, std::string_view) {
    notYet();
}
EntityId Drawing::copy(EntityId) {
    notYet();
}
void Drawing::erase(EntityId) {
    notYet();
}
std::optional<EntityId> Drawing::lastObject() const {
    notYet();
}
std::vector<EntityInfo> Drawing::entities(Space) const {
    notYet();
}
std::vector<EntityInfo> Drawing::blockEntities(std::string_view) const {
    notYet();
}
std::optional<Extents> Drawing::extents() const {
    notYet();
}

}  // namespace quorvel::dxf
