# Programs for the installer's Wine tests (tests/wine/tavsetup_*_test.sh).

# Reads back the tavport service's key.
add_executable(tavsetup_registry tavsetup_registry.cpp)
target_link_options(tavsetup_registry PRIVATE ${TAV_NO_RUNTIME_DLLS})
target_link_libraries(tavsetup_registry PRIVATE advapi32)

# A driver that exposes no link, staged as tavport.sys by one scenario.
add_library(nolinks SHARED nolinks.cpp)
set_target_properties(nolinks PROPERTIES PREFIX "" SUFFIX ".sys" OUTPUT_NAME nolinks)
target_include_directories(nolinks SYSTEM PRIVATE /usr/share/mingw-w64/include/ddk)
target_compile_options(nolinks PRIVATE -ffreestanding -fno-stack-protector
                       -fno-asynchronous-unwind-tables -fno-exceptions -fno-rtti
                       -D__INTRINSIC_DEFINED_InterlockedBitTestAndSet
                       -D__INTRINSIC_DEFINED_InterlockedBitTestAndReset)
target_link_options(nolinks PRIVATE -nostdlib -nostartfiles -Wl,--subsystem,native
                    -Wl,--entry,_DriverEntry@8 -Wl,--image-base,0x10000 -Wl,--fatal-warnings)
target_link_libraries(nolinks PRIVATE ntoskrnl hal gcc)
