// Counts the guest instructions a program executes under qemu user
// emulation, for the benchmark where valgrind cannot run 32-bit programs:
//   qemu-i386 -plugin qemu_insn_count.so -d plugin PROGRAM ARGS...
// prints "instructions: N" on standard error at exit. Only the few calls of
// qemu's plugin interface (version 1) this needs are declared here.
#include <inttypes.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

typedef uint64_t qemu_plugin_id_t;
struct qemu_plugin_tb;
typedef struct qemu_info_t qemu_info_t;
enum qemu_plugin_op { QEMU_PLUGIN_INLINE_ADD_U64 };

void qemu_plugin_register_vcpu_tb_trans_cb(qemu_plugin_id_t id,
                                           void (*cb)(qemu_plugin_id_t, struct qemu_plugin_tb*));
size_t qemu_plugin_tb_n_insns(const struct qemu_plugin_tb* tb);
void qemu_plugin_register_vcpu_tb_exec_inline(struct qemu_plugin_tb* tb, enum qemu_plugin_op op, void* ptr,
                                              uint64_t imm);
void qemu_plugin_register_atexit_cb(qemu_plugin_id_t id, void (*cb)(qemu_plugin_id_t, void*), void* userdata);
void qemu_plugin_outs(const char* string);

__attribute__((visibility("default"))) int qemu_plugin_version = 1;

// One counter: the programs measured run one thread.
static uint64_t executed;

// Each translated block adds its instruction count every time it runs.
static void Translated(qemu_plugin_id_t id, struct qemu_plugin_tb* tb) {
  qemu_plugin_register_vcpu_tb_exec_inline(tb, QEMU_PLUGIN_INLINE_ADD_U64, &executed, qemu_plugin_tb_n_insns(tb));
}

static void AtExit(qemu_plugin_id_t id, void* unused) {
  char line[64];
  snprintf(line, sizeof line, "instructions: %" PRIu64 "\n", executed);
  qemu_plugin_outs(line);
}

__attribute__((visibility("default"))) int qemu_plugin_install(qemu_plugin_id_t id, const qemu_info_t* info,
                                                               int argc, char** argv) {
  qemu_plugin_register_vcpu_tb_trans_cb(id, Translated);
  qemu_plugin_register_atexit_cb(id, AtExit, NULL);
  return 0;
}
