# Precompiled headers for what most of our translation units parse again and
# again: GoogleTest, Qt and nlohmann-json. A set's header is built once per
# configuration, by a small host target, and reused by every target of the
# set, so it pays for itself from the second program on. A target whose flags
# make the header unusable is compiled without it (-Winvalid-pch says so).

set(ORVANE_PCH_DIR ${CMAKE_BINARY_DIR}/pch)
file(WRITE ${ORVANE_PCH_DIR}/main.cpp "int main() { return 0; }\n")
file(WRITE ${ORVANE_PCH_DIR}/empty.cpp "")

set(ORVANE_PCH_STD <algorithm> <chrono> <functional> <map> <memory> <mutex> <optional>
    <string> <string_view> <thread> <vector>)
set(ORVANE_PCH_QT <QObject> <QString> <QStringList> <QByteArray> <QVariant> <QList> <QHash>
    <QDir> <QFileInfo> <QDateTime> <QImage> <QPixmap> <QWidget> <QApplication> <QTimer>)

# orvane_pch_host(NAME KIND HEADERS... LIBRARIES ...): a target that builds a
# precompiled header for reuse. KIND is EXECUTABLE (for test programs) or
# LIBRARY (for static libraries), so its code-generation flags match theirs.
function(orvane_pch_host name kind)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "HEADERS;LIBRARIES")
  if(kind STREQUAL "EXECUTABLE")
    add_executable(${name} EXCLUDE_FROM_ALL ${ORVANE_PCH_DIR}/main.cpp)
  else()
    add_library(${name} STATIC EXCLUDE_FROM_ALL ${ORVANE_PCH_DIR}/empty.cpp)
  endif()
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES})
  # The warning set changes predefined macros (-Wpedantic drops
  # __cpp_runtime_arrays): without it the header would be refused.
  orvane_warnings(${name})
  target_precompile_headers(${name} PRIVATE ${arg_HEADERS})
endfunction()

# orvane_reuse_pch(TARGET HOST): TARGET compiles with HOST's header, when
# precompiled headers are on.
function(orvane_reuse_pch target host)
  if(ORVANE_PRECOMPILED_HEADERS AND TARGET ${host})
    target_precompile_headers(${target} REUSE_FROM ${host})
  endif()
endfunction()
