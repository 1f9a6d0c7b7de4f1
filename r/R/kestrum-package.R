# SPDX-License-Identifier: GPL-3.0-or-later
# The package: R functions over the engine of the Kestrum program and its command line.
