# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the extension module from the repository's own core sources (distrib, stats,
# bayes, app) and bindings/, so that the package
# computes with the very code of kestrum-cli. Installed from a checkout:
#   /usr/bin/python3 -m pip install --no-build-isolation ./python
# The core's floating-point semantics are kept: no -ffast-math or similar flag is added,
# and one that the environment adds is refused.
import os
import sys
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pybind11
from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
# Every source file of these units is part of the core's libraries.
CORE_UNITS = ["distrib", "stats", "bayes", "app"]
UNSAFE_FLAGS = ("fast-math", "Ofast", "unsafe-math", "finite-math", "associative-math",
                "reciprocal-math")


def core_sources():
    if not (ROOT / "distrib").is_dir():
        sys.exit("setup.py: build from a Kestrum checkout (the core's sources are in its parent folder)")
    files = []
    for unit in CORE_UNITS:
        files += sorted(str(p) for p in (ROOT / unit).glob("*.cpp"))
    files.append(str(ROOT / "bindings" / "package_engine.cpp"))
    files.append(str(HERE / "src" / "kestrum_module.cpp"))
    return files


def core_headers():
    """The headers, so that a changed header rebuilds the module too."""
    files = []
    for unit in CORE_UNITS + ["bindings"]:
        files += sorted(str(p) for p in (ROOT / unit).glob("*.h"))
    return files


class Parallel_build_ext(build_ext):
    """Compiles the sources on every core, and refuses flags that change the numerics."""

    def build_extension(self, ext):
        for flags in (os.environ.get("CFLAGS", ""), os.environ.get("CXXFLAGS", "")):
            if any(u in flags for u in UNSAFE_FLAGS):
                sys.exit(f"setup.py: refusing a flag that changes floating-point semantics: {flags}")
        compiler = self.compiler
        # The default compile is one file after another.
        def compile_parallel(sources, output_dir=None, macros=None, include_dirs=None,
                             debug=0, extra_preargs=None, extra_postargs=None, depends=None):
            macros, objects, extra, pp_opts, build = compiler._setup_compile(
                output_dir, macros, include_dirs, sources, depends, extra_postargs)
            cc_args = compiler._get_cc_args(pp_opts, debug, extra_preargs)

            def one(obj):
                src, ext_ = build[obj]
                compiler._compile(obj, src, ext_, cc_args, extra, pp_opts)

            with ThreadPoolExecutor(os.cpu_count() or 1) as pool:
                list(pool.map(one, [o for o in objects if o in build]))
            return objects

        compiler.compile = compile_parallel
        super().build_extension(ext)


module = Extension(
    "kestrum._core",
    sources=core_sources(),
    depends=core_headers(),
    include_dirs=[str(ROOT), pybind11.get_include()],
    language="c++",
    # -fno-wrapv undoes the interpreter's -fwrapv (integer overflow only), so that the core is
    # compiled as the command line compiles it. The generator's seeds are thread-local: in a
    # module the default TLS model reaches them through a call on every draw, the
    # initial-exec model as directly as the program does (static TLS, a few bytes).
    extra_compile_args=["-std=c++20", "-fvisibility=hidden", "-fno-wrapv", "-ftls-model=initial-exec"],
    extra_link_args=["-pthread"],
)

setup(
    name="kestrum",
    version="1.0.0",
    description="Single-case comparisons with controls: deficits and dissociations (Kestrum's engine)",
    license="GPL-3.0-or-later",
    packages=["kestrum"],
    ext_modules=[module],
    cmdclass={"build_ext": Parallel_build_ext},
    python_requires=">=3.9",
    install_requires=["numpy"],
    extras_require={"pandas": ["pandas"], "dask": ["dask", "distributed", "pandas"]},
)
