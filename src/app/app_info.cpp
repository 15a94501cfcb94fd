// Build facts of the application.
namespace korvana {
const char* korvanaVersion() { return KORVANA_VERSION; }
}  // namespace korvana
