// The one path by which pages read and write holding registers of the transmitter at
// CurrentAddress: transactions, Show operations and field writes.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "modbus/frames.h"  // TransactionResult
#include "modbus/messages.h"
#include "modbus/representation.h"
#include "modbus/ui.h"
#include "serial/link.h"

namespace tamsu {

class ModbusMaster {
 public:
  explicit ModbusMaster(Link& link);
  virtual ~ModbusMaster();

  Link& GetLink() { return link_; }

  // Transactions.
  uint8_t ReadRegister(uint16_t reg, uint16_t& value);
  uint8_t ReadRegister32(uint16_t reg, uint32_t& value);
  uint8_t ReadFloatRegister(uint16_t reg, float& value);
  // Block read for pages that build their own poll request (count registers from start); a
  // few of them wait longer for the answer than the transactions do.
  uint8_t ReadRegisters(uint16_t start, uint16_t count, uint16_t* values,
                        std::chrono::milliseconds replyWait = Link::kReplyWait);
  uint8_t WriteRegister(uint16_t reg, uint32_t value);  // low 16 bits sent
  uint8_t WriteRegister32(uint16_t reg, uint32_t value);
  uint8_t WriteRegisterPair(uint16_t reg, uint16_t first, uint16_t second);
  // Function 16 with 1 to kMaxWriteMany registers; another count sends nothing and is a
  // format error.
  uint8_t WriteRegisters(uint16_t reg, const uint16_t* words, uint16_t count);

  // Link::Exchange: write TxFrame[0..requestLength), wait for one reply (about 500 ms at most,
  // longer for a transmitter known to be slow), handed over at its last byte when it is the
  // reply the request calls for. Returns the reply length in RxFrame (0 when none came). Used
  // by the configuration exchanges and every transaction.
  // Link::Take::FirstFrame takes whatever frame comes first (a survey tells strays apart itself).
  size_t Exchange(size_t requestLength, std::chrono::milliseconds replyWait = Link::kReplyWait,
                  Link::Take take = Link::Take::Reply);

  // The one Show operation the others are made of: reads shown.Words() registers, empties the
  // field first unless `keep`, writes Present(shown, value) on success (and hands the value to
  // `read` when given), and on failure shows the family's message when asked.
  uint8_t Show(MessageSink& window, EditField& field, uint16_t reg, const Representation& shown,
               const ReadMessages& messages, bool keep, bool showErrors, uint32_t* read = nullptr);

  // Show operations: the result of the read; on failure the field is left empty (or unchanged
  // for ShowRegisterNoClear) and, with showErrors, the operation's message is shown.
  uint8_t ShowRegister(MessageSink& window, EditField& field, uint16_t reg, bool showErrors);
  uint8_t ShowRegisterNoClear(MessageSink& window, EditField& field, uint16_t reg, bool showErrors);
  uint8_t ShowStatusRegister(MessageSink& window, EditField& field, uint16_t reg, uint16_t normalCode,
                             uint16_t warningCode, bool showErrors);
  uint8_t ShowScaled(MessageSink& window, EditField& field, uint16_t reg, double scale, int decimals,
                     bool showErrors);
  uint8_t ShowScaledSigned(MessageSink& window, EditField& field, uint16_t reg, double scale,
                           int decimals, bool showErrors);
  uint8_t ShowRegister32(MessageSink& window, EditField& field, uint16_t reg, bool showErrors);
  uint8_t ShowFloatRegister(MessageSink& window, EditField& field, uint16_t reg, bool showErrors);

  // Field writes: convert the field's text, write, always report the outcome (in the field
  // writes' own words unless a page gives its own).
  uint8_t WriteFieldInt(MessageSink& window, EditField& field, uint16_t reg,
                        const WriteMessages& messages = kFieldWriteMessages);
  uint8_t WriteFieldScaled(MessageSink& window, EditField& field, uint16_t reg, int scale,
                           const WriteMessages& messages = kFieldWriteMessages);
  uint8_t WriteFieldScaled32(MessageSink& window, EditField& field, uint16_t reg, int scale,
                             const WriteMessages& messages = kFieldWriteMessages);
  uint8_t WriteFieldFloat(MessageSink& window, EditField& field, uint16_t reg,
                          const WriteMessages& messages = kFieldWriteMessages);

 private:
  // Tells the line's observer how a transaction ended; returns the result. `sent`: whether its
  // request went on the line (the round trip is counted from then).
  uint8_t Ended(uint8_t result, bool sent = true);

  Link& link_;
};

}  // namespace tamsu
