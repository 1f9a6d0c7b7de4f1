// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/texts.h"

const char Program_title[] =
    "Kestrum.EXE: Bayesian criteria for dissociations in single-case studies";

const tReference kWorksheet_references[3] = {
    {" Quarrin & Orlund (1998): the modified t-test comparing a single case's score with a",
     " small control sample, used here as the test for a deficit on each task, and the",
     " estimated percentage of the control population scoring below the case."},
    {" The Bayesian Standardized Difference Test (BSDT) on the difference between a case's",
     " standardized scores on two tasks, with its calibrated prior conferring frequentist",
     " properties, and the Bayesian criteria for a dissociation applied here."},
    {" Point and interval estimates of the effect sizes for single-case comparisons: Z-CC for",
     " the case's score on one task and Z-DCC for the difference between two tasks.", nullptr},
};

const tReference kCovariate_reference = {
    " Test for a deficit allowing for covariates: the case's score compared with the",
    " controls' regression on the covariates, by the prediction interval of a regression,",
    " with the effect size Z-CCC and its limits from a non-central t distribution."};
const tReference kBayesian_model_reference = {
    " Bayesian test for a deficit, and the BSDT allowing for covariates: the posterior of",
    " the controls' conditional model given the covariates (regression, the multivariate",
    " normal and the Wishart distribution), sampled by Monte Carlo."};
const tReference kBayesian_deficit_reference = {
    " Bayesian test for a deficit: the posterior of the controls' mean and variance (the",
    " normal and the Wishart distribution), sampled by Monte Carlo.", nullptr};
const tReference kDeficit_effect_reference = {
    " Point and interval estimates of the effect size for single-case comparisons: Z-CC for",
    " the case's score on one task.", nullptr};
const tReference kUdt_reference = {
    " The unstandardized difference test: the test for a deficit applied to the",
    " difference between a case's scores on two tasks measured on the same scale.", nullptr};

const tClassification_words& Words(tClassification c) {
  static const tClassification_words words[] = {
      {"strong", "strong dissociation",
       " The case's pattern of performance fulfils the criteria for a STRONG dissociation"},
      {"classical", "dissociation, putatively classical",
       " The case's pattern of performance fulfils the criteria for a dissociation, putatively "
       "CLASSICAL"},
      {"neither", "neither a strong nor a classical dissociation",
       " The case does not fulfil the criteria for either a strong or classical dissociation"},
  };
  return words[static_cast<int>(c)];
}

const tPrior_words& Words(tPrior p) {
  static const tPrior_words calibrated{
      "calibrated", "calibrated prior",
      " Option selected: Analysis is to be performed using a prior CALIBRATED to confer "
      "frequentist properties"};
  static const tPrior_words standard{
      "jeffreys", "standard-theory (Jeffreys) prior",
      " Option selected: Analysis is to be performed using a prior derived from STANDARD "
      "THEORY (Jeffreys prior)"};
  return p == tPrior::Calibrated ? calibrated : standard;
}

const tCriteria_words& Words(tCriteria c) {
  static const tCriteria_words bayesian{
      "bayesian", "Bayesian criteria", "Bayesian criteria",
      " Option selected: Apply Bayesian criteria for dissociations",
      " OVERALL RESULT OF APPLYING BAYESIAN CRITERIA FOR A DISSOCIATION:"};
  static const tCriteria_words combined{
      "combined", "combined criteria", "Combined Bayesian / frequentist criteria",
      " Option selected: Apply combined Bayesian / frequentist criteria for dissociations",
      " OVERALL RESULT OF APPLYING COMBINED BAYESIAN/FREQUENTIST CRITERIA FOR A DISSOCIATION:"};
  return c == tCriteria::Combined ? combined : bayesian;
}

const tTail_words& Words(tTail t) {
  static const tTail_words two{
      "two", "two-tailed",
      " Option selected: Use a TWO-tailed test when testing for a difference between "
      "standardized scores"};
  static const tTail_words one{
      "one", "one-tailed",
      " Option selected: Use a ONE-tailed test when testing for a difference between "
      "standardized scores"};
  return t == tTail::One ? one : two;
}
