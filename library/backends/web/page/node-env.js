// node-env.js - gives a test program run by Node the process environment (ctest's
// PLOTX_BACKEND and friends); a page's program sees only what the page sets.
Module.preRun = (Module.preRun || []).concat(() => Object.assign(ENV, process.env));
