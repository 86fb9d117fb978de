#include "caps.h"

#include <cstdint>

// The capabilities a list may name, by number.
static constexpr const char *names[] = {
	"cap_chown", "cap_dac_override", "cap_dac_read_search", "cap_fowner", "cap_fsetid", "cap_kill",
	"cap_setgid", "cap_setuid", "cap_setpcap", "cap_linux_immutable", "cap_net_bind_service",
	"cap_net_broadcast", "cap_net_admin", "cap_net_raw", "cap_ipc_lock", "cap_ipc_owner", "cap_sys_module",
	"cap_sys_rawio", "cap_sys_chroot", "cap_sys_ptrace", "cap_sys_pacct", "cap_sys_admin", "cap_sys_boot",
	"cap_sys_nice", "cap_sys_resource", "cap_sys_time", "cap_sys_tty_config", "cap_mknod", "cap_lease",
	"cap_audit_write", "cap_audit_control", "cap_setfcap", "cap_mac_override", "cap_mac_admin", "cap_syslog",
	"cap_wake_alarm", "cap_block_suspend", "cap_audit_read", "cap_perfmon", "cap_bpf", "cap_checkpoint_restore",
};
static constexpr unsigned known = sizeof names / sizeof names[0];
static constexpr std::uint64_t every = (std::uint64_t{1} << known) - 1;

enum { E, I, P };	// the three sets, in the order the text writes their flags

static char lower(char c)
{
	return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The bit of one name, as the table has it, in any case, or as a number
// below 64; 0 where it is neither.
static std::uint64_t bit_of(std::string_view name)
{
	for (unsigned i = 0; i < known; i++) {
		std::string_view n(names[i]);
		bool same = n.size() == name.size();
		for (std::size_t k = 0; same && k < n.size(); k++)
			same = lower(name[k]) == n[k];
		if (same)
			return std::uint64_t{1} << i;
	}
	unsigned number = 0;
	if (name.empty() || name.size() > 2 || (name.size() == 2 && name[0] == '0'))
		return 0;
	for (char c : name) {
		if (c < '0' || c > '9')
			return 0;
		number = number * 10 + static_cast<unsigned>(c - '0');
	}
	return number < 64 ? std::uint64_t{1} << number : 0;
}

static void put(unsigned char *at, std::uint32_t word)
{
	for (int k = 0; k < 4; k++)
		at[k] = static_cast<unsigned char>(word >> (8 * k));
}

static std::uint32_t get(const unsigned char *at)
{
	return at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

const char *caps_encode(std::string_view text, unsigned char (&bytes)[caps_size])
{
	std::uint64_t sets[3] = {};
	bool any = false;
	std::size_t i = 0;
	auto blank = [&] { return text[i] == ' ' || text[i] == '\t'; };
	for (;;) {
		while (i < text.size() && blank())
			i++;
		if (i == text.size())
			break;
		any = true;
		std::uint64_t chosen = 0;
		std::size_t start = i;
		while (i < text.size() && text[i] != '=' && text[i] != '+' && text[i] != '-' && !blank()) {
			std::size_t end = i;
			while (end < text.size() && text[end] != ',' && text[end] != '=' && text[end] != '+' &&
			       text[end] != '-' && text[end] != ' ' && text[end] != '\t')
				end++;
			std::string_view name = text.substr(i, end - i);
			std::uint64_t bit = name == "all" ? every : bit_of(name);
			if (bit == 0)
				return name.empty() ? "capabilities: a name is missing between commas"
						    : "capabilities: unknown capability name";
			chosen |= bit;
			i = end;
			if (i < text.size() && text[i] == ',' &&
			    (++i == text.size() || text[i] == '=' || text[i] == '+' || text[i] == '-' || blank()))
				return "capabilities: a name is missing between commas";
		}
		if (i == text.size() || blank())
			return "capabilities: a clause needs an operator, '=', '+' or '-', and flags";
		if (i == start) {
			if (text[i] != '=')
				return "capabilities: only '=' may stand for every capability without a name";
			chosen = every;
		}
		while (i < text.size() && !blank()) {
			char op = text[i++];
			if (op != '=' && op != '+' && op != '-')
				return "capabilities: flags are 'e', 'i' and 'p'";
			if (op == '=')
				for (std::uint64_t &s : sets)
					s &= ~chosen;
			bool flags = false;
			for (; i < text.size() && text[i] != '=' && text[i] != '+' && text[i] != '-' && !blank(); i++) {
				int set = text[i] == 'e' ? E : text[i] == 'i' ? I : text[i] == 'p' ? P : -1;
				if (set == -1)
					return "capabilities: flags are 'e', 'i' and 'p'";
				sets[set] = op == '-' ? sets[set] & ~chosen : sets[set] | chosen;
				flags = true;
			}
			if (!flags && op != '=')
				return "capabilities: '+' and '-' need flags";
		}
	}
	if (!any)
		return "capabilities: none are given";
	// One flag stands for the effective set: it raises every capability
	// the file grants, or none.
	if (sets[E] != 0 && sets[E] != (sets[P] | sets[I]))
		return "capabilities: the effective flag goes with every capability that has 'p' or 'i', or with none";
	put(bytes, 0x02000000U | (sets[E] != 0 ? 1U : 0U));
	for (std::size_t half = 0; half < 2; half++) {
		put(bytes + 4 + 8 * half, static_cast<std::uint32_t>(sets[P] >> (32 * half)));
		put(bytes + 8 + 8 * half, static_cast<std::uint32_t>(sets[I] >> (32 * half)));
	}
	return nullptr;
}

std::string caps_text(const unsigned char *data, std::size_t size)
{
	if (size < 4)
		return "";
	std::uint32_t magic = get(data);
	std::size_t words = size == 12 && (magic >> 24) == 1 ? 1
			    : (size == 20 && (magic >> 24) == 2) || (size == 24 && (magic >> 24) == 3) ? 2
			    : 0;
	if (words == 0)
		return "";
	std::uint64_t sets[3] = {};
	for (std::size_t half = 0; half < words; half++) {
		sets[P] |= std::uint64_t{get(data + 4 + 8 * half)} << (32 * half);
		sets[I] |= std::uint64_t{get(data + 8 + 8 * half)} << (32 * half);
	}
	if ((magic & 1) != 0)
		sets[E] = sets[P] | sets[I];
	// One clause for each combination of flags, its names in order.
	std::string text;
	std::uint64_t done = 0;
	for (unsigned c = 0; c < 64; c++) {
		std::uint64_t bit = std::uint64_t{1} << c;
		auto flags_of = [&](std::uint64_t b) {
			return ((sets[E] & b) != 0 ? 1 : 0) | ((sets[I] & b) != 0 ? 2 : 0) | ((sets[P] & b) != 0 ? 4 : 0);
		};
		int flags = flags_of(bit);
		if ((done & bit) != 0 || flags == 0)
			continue;
		if (!text.empty())
			text += ' ';
		const char *sep = "";
		for (unsigned d = c; d < 64; d++) {
			std::uint64_t other = std::uint64_t{1} << d;
			if (flags_of(other) != flags)
				continue;
			done |= other;
			text += sep;
			text += d < known ? names[d] : std::to_string(d);
			sep = ",";
		}
		text += '=';
		for (int set = E; set <= P; set++)
			if ((flags & (1 << set)) != 0)
				text += "eip"[set];
	}
	return text.empty() ? "=" : text;
}

std::string caps_field(std::string_view text)
{
	unsigned char bytes[caps_size];
	if (caps_encode(text, bytes) != nullptr)
		return "";
	std::string field(text);
	field += '\0';
	field.append(reinterpret_cast<const char *>(bytes), caps_size);
	return field;
}
