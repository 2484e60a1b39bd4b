// Keeps the library non-empty until its first function lands.
namespace kz_geometry_detail { int placeholder = 0; }
