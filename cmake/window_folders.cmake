# The window folders: each holds its window's core/ (no Qt), ui/ and
# perhaps export/ (no Qt). The build, the tests and the layers check
# (cmake/check_layers.cmake) read this one list; a new window folder is one
# more name here.
set(BENCH_WINDOW_FOLDERS detection tools reading journal)

# Every other top folder that holds code, each a layer of its own. The
# layers check fails on a folder holding code that is in neither list.
set(BENCH_OTHER_CODE_FOLDERS core serial protocol ui shell sim fuzz cli app bench tests)

# `BENCH_WINDOW_FOLDERS`, each followed by `suffix` ("/core/*.cpp").
function(bench_window_paths out suffix)
  set(paths)
  foreach(folder ${BENCH_WINDOW_FOLDERS})
    list(APPEND paths ${folder}${suffix})
  endforeach()
  set(${out} ${paths} PARENT_SCOPE)
endfunction()
