/* uint32_t KitCallWords(const void* function, const uint32_t* words,
 *                       uint32_t count)
 *
 * Calls `function` with `count` 32-bit words as its stack arguments,
 * words[0] at the lowest address, and returns what it left in EAX. The
 * stack pointer is restored from the frame pointer after the call, so a
 * __stdcall callee (which pops its arguments) and a __cdecl one (which
 * does not) both return to a sound stack. The arguments start on a 16-byte
 * boundary, as compilers that assume it expect. 32-bit Windows only.
 */
	.text
	.globl	_KitCallWords
	.def	_KitCallWords; .scl 2; .type 32; .endef
_KitCallWords:
	pushl	%ebp
	movl	%esp, %ebp
	pushl	%esi
	pushl	%edi
	movl	16(%ebp), %ecx		/* count */
	leal	0(,%ecx,4), %eax
	subl	%eax, %esp
	andl	$-16, %esp
	movl	12(%ebp), %esi		/* words */
	movl	%esp, %edi
	cld
	rep movsl
	call	*8(%ebp)
	leal	-8(%ebp), %esp		/* whatever the callee popped */
	popl	%edi
	popl	%esi
	popl	%ebp
	ret
