#!/bin/sh
# Runs a test program with umockdev's preload library. The preload comes
# before a sanitizer's runtime in the load order, which AddressSanitizer
# refuses unless told otherwise; the caller's sanitizer options are kept.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
export ASAN_OPTIONS
exec umockdev-wrapper "$@"
