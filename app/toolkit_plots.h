// SPDX-License-Identifier: GPL-3.0-or-later
// The two pictures of a toolkit analysis, in the form the plots window draws
// (app/plot_geometry.h):
//   deficit: the case among the controls in the plane of the covariates' prediction and
//     the task (standardized; their correlation is the multiple correlation R, and the
//     controls with the case's covariate values are the vertical slice through the case),
//     and the posterior of Z-CCC;
//   dissociation: the case among the controls' residuals given the covariates (the tasks'
//     distances from their predictions in residual SDs, with the residual correlation),
//     and the posterior of Z-DCC.
// The unstandardized difference test has no pictures.
#pragma once

#include "app/plot_geometry.h"
#include "app/toolkit_analysis.h"

// Refuses (std::invalid_argument) a UDT analysis.
tResult_plots Toolkit_plots(const tToolkit_results& results);
