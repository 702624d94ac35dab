// What the operator's clicks mean, as on the desktop panel: a key selects its
// antenna, SPLIT and S. SPLIT work in two steps (the button, then keys), a
// rotor button selects its rotor or releases the one selected. Each step
// yields at most one command for BASE/set and a prompt for the operator.

(function (exports) {
  'use strict';

  const prompts = {
    splitTx: 'Choose the TX position:',
    superSplit: 'Choose antennas for Super Split:',
  };

  class Operator {
    constructor() {
      this.reset();
    }

    // Back to plain selecting, dropping a choice in progress.
    reset() {
      this.choosingSplitTx = false;
      this.superSplitSelection = null;
    }

    // What keyLooks() needs to show a choice in progress.
    get choosing() {
      return { splitTx: this.choosingSplitTx, superSplit: this.superSplitSelection };
    }

    get prompt() {
      if (this.choosingSplitTx) return prompts.splitTx;
      if (this.superSplitSelection) return prompts.superSplit;
      return '';
    }

    key(antenna) {
      if (this.choosingSplitTx) {
        this.choosingSplitTx = false;
        return { split: { tx: antenna } };
      }
      if (this.superSplitSelection) {
        const picked = new Set(this.superSplitSelection);
        if (picked.has(antenna)) picked.delete(antenna);
        else picked.add(antenna);
        this.superSplitSelection = [...picked].sort((a, b) => a - b);
        return null;
      }
      return { antenna };
    }

    split(state) {
      this.superSplitSelection = null;
      if (state?.split.on) return { split: false };
      this.choosingSplitTx = true;
      return null;
    }

    superSplit(state) {
      this.choosingSplitTx = false;
      if (this.superSplitSelection) {
        const group = this.superSplitSelection;
        this.superSplitSelection = null;
        return { superSplit: group };
      }
      this.superSplitSelection = [...(state?.superSplit.group ?? [])];
      return null;
    }

    rotor(number, state) {
      return { rotor: state?.rotor === number ? 0 : number };
    }
  }

  exports.prompts = prompts;
  exports.Operator = Operator;
})(typeof module === 'object' && module.exports ? module.exports : (globalThis.tqx5r = globalThis.tqx5r || {}));
